#include "service/fetch/extractor_win.h"

#include <windows.h>

#include <condition_variable>
#include <mutex>

#include "base/child_process_win.h"
#include "base/owned_win.h"
#include "service/fetch/extractor_command.h"

namespace ql::service {

namespace {

// Places for extractions: each costs a process and tens of megabytes.
struct ExtractionGate {
    std::mutex mutex;
    std::condition_variable freed;
    int active = 0;
};

ExtractionGate& Gate() {
    static ExtractionGate gate;
    return gate;
}

class ExtractionPlace {
public:
    ExtractionPlace() {
        std::unique_lock<std::mutex> lock(Gate().mutex);
        held_ = Gate().freed.wait_for(lock, kExtractionWait, [] { return Gate().active < kMaxExtractions; });
        if (held_) ++Gate().active;
    }
    ~ExtractionPlace() {
        if (!held_) return;
        std::lock_guard<std::mutex> lock(Gate().mutex);
        --Gate().active;
        Gate().freed.notify_one();
    }
    ExtractionPlace(const ExtractionPlace&) = delete;
    ExtractionPlace& operator=(const ExtractionPlace&) = delete;
    explicit operator bool() const { return held_; }

private:
    bool held_ = false;
};

// Whether an environment entry ("NAME=value") names a proxy: the extractor is given its proxy
// on its command line, and a user's setting must not send it elsewhere or around the filter.
bool IsProxySetting(std::wstring_view entry) {
    static const wchar_t* const kNames[] = {L"http_proxy", L"https_proxy", L"all_proxy", L"no_proxy", L"ftp_proxy"};
    const std::wstring_view name = entry.substr(0, entry.find(L'=', 1));
    for (const wchar_t* known : kNames) {
        if (name.size() == wcslen(known) && _wcsnicmp(name.data(), known, name.size()) == 0) return true;
    }
    return false;
}

// This process's environment without its proxy settings, as a block for CreateProcessW.
std::wstring EnvironmentWithoutProxies() {
    std::wstring block;
    const UniqueEnvironmentStrings own(GetEnvironmentStringsW());
    for (const wchar_t* entry = own.get(); entry && *entry; entry += wcslen(entry) + 1) {
        if (!IsProxySetting(entry)) block.append(entry).push_back(L'\0');
    }
    if (block.empty()) block.push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

}  // namespace

std::optional<std::wstring> FindExtractor() {
    wchar_t own[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH * 2);
    if (length > 0 && length < MAX_PATH * 2) {
        std::wstring beside(own, length);
        beside.resize(beside.find_last_of(L"\\/") + 1);
        beside += L"yt-dlp.exe";
        const DWORD attributes = GetFileAttributesW(beside.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return beside;
    }
    wchar_t found[MAX_PATH * 2];
    const DWORD foundLength = SearchPathW(nullptr, L"yt-dlp.exe", nullptr, MAX_PATH * 2, found, nullptr);
    if (foundLength > 0 && foundLength < MAX_PATH * 2) return std::wstring(found, foundLength);
    return std::nullopt;
}

std::vector<std::string> SystemSiteExtractor::Extract(const std::string& url, std::string* why) {
    const auto fail = [&](const std::string& what) {
        if (why) *why = "extractor: " + what;
        return std::vector<std::string>();
    };
    const ExtractionPlace place;
    if (!place) return fail("two extractions are running already");
    const Clock::time_point deadline = Clock::now() + timeLimit;
    PinningProxy proxy(allowPrivate_, deadline, lookup_, judge_, {}, ProxyScope::kAnyHost);
    proxy.FollowSystemProxy();  // once for the whole extraction
    std::string proxyWhy;
    if (!proxy.Start(&proxyWhy)) return fail(proxyWhy);

    std::vector<std::wstring> arguments;
    for (const std::string& argument : ExtractorArguments(url, proxy.port(), allowGeneric)) {
        arguments.push_back(Widen(argument));
    }
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    UniqueKernelHandle readEnd, writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inheritable, 0) ||
        !SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0)) {
        return fail("cannot make a pipe (error " + std::to_string(GetLastError()) + ")");
    }
    const std::wstring environment = EnvironmentWithoutProxies();
    ChildStart how;
    how.program = program_;
    const std::optional<std::wstring> line = WindowsCommandLine(program_, arguments);
    if (!line) return fail("its name or the address cannot be given on a command line");
    how.commandLine = *line;
    how.inherited = {writeEnd.get()};
    how.output = writeEnd.get();
    how.environment = environment.c_str();
    how.consoleFlag = CREATE_NO_WINDOW;
    ChildProcess child = ChildProcess::Run(how);
    writeEnd.reset();  // the child's copy is the only writer left
    if (!child) return fail("cannot start it (error " + std::to_string(GetLastError()) + ")");

    // Read until the extractor has ended and its output is drained, or every writer is gone.
    // A child it left running does not hold the answer up: the job ends it below.
    std::string output;
    for (;;) {
        const bool ended = WaitForSingleObject(child.process(), 0) == WAIT_OBJECT_0;
        DWORD waiting = 0;
        const bool open = PeekNamedPipe(readEnd.get(), nullptr, 0, nullptr, &waiting, nullptr);
        if (waiting > 0) {
            char buffer[65536];
            DWORD got = 0;
            if (!ReadFile(readEnd.get(), buffer, std::min<DWORD>(waiting, sizeof buffer), &got, nullptr)) break;
            output.append(buffer, got);
            if (output.size() > kMaxExtractorOutput) return fail("its output passed 1 MiB");
            continue;
        }
        if (!open || ended) break;
        if (Clock::now() >= deadline) return fail("it ran past its time");
        if (abandoned_ && abandoned_()) return fail("the request was given up");
        WaitForSingleObject(child.process(), 20);
    }
    // Its end, waited for within the deadline when the pipe closed first.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(child.process(), static_cast<DWORD>(std::max<long long>(left, 0))) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(child.process(), &code)) {
        return fail("it ran past its time");
    }
    child.End();
    proxy.Cut();
    if (code != 0)
        return fail("it ended with exit code " + std::to_string(code) +
                    (proxy.refusal().empty() ? "" : " (" + proxy.refusal() + ")"));
    std::vector<std::string> rows = ExtractorRows(output);
    if (rows.empty()) return fail("it listed no media addresses");
    return rows;
}

}  // namespace ql::service
