#include "service/server/own_service_win.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

#include "base/child_process_win.h"
#include "base/messages_win.h"
#include "base/owned_socket_win.h"
#include "service/fetch/extractor_win.h"
#include "service/fetch/socket_io_win.h"
#include "service/server/own_service.h"
#include "service/server/service_server_win.h"

namespace ql::service {

namespace {

// The program's own service for the whole run. Never destroyed: the server's thread, or the
// service process's job, lasts as long as the program, and the end of the process ends both.
struct OwnService {
    std::timed_mutex mutex;
    bool ending = false;                        // the program is ending: start nothing
    std::unique_ptr<WinsockScope> winsock;      // from the first use on
    std::unique_ptr<ServiceServer> thread;      // serving from a thread of the program
    std::shared_ptr<const ChildProcess> child;  // the service process started last
};

OwnService& State() {
    static OwnService* const state = new OwnService;
    return *state;
}

// qinglan_service.exe in the folder of the program's own executable; empty when that folder
// cannot be told.
std::wstring HelperPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768) return {};  // longer than any path the system takes
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1) + L"qinglan_service.exe";
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Whether the address is free: one attempt to bind it as the service does, exclusively (a
// bind alone, so that no client's connection can land on the attempt).
bool AddressFree(int port) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<u_short>(port));
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return static_cast<bool>(BindExclusive(reinterpret_cast<const sockaddr*>(&at), sizeof at));
}

std::shared_ptr<const ChildProcess> StartChild(const std::wstring& helper, int port, const OwnServiceOptions& options) {
    const std::string arguments = OwnServiceArguments(port, options.allowPrivate);  // ASCII
    ChildProcess child =
        ChildProcess::Start(helper, std::wstring(arguments.begin(), arguments.end()), L"--ready-event");
    if (!child) return nullptr;
    return std::make_shared<const ChildProcess>(std::move(child));
}

bool ServeFromThread(OwnService& state, int port, const OwnServiceOptions& options) {
    ServerOptions server;
    server.site.bind = "127.0.0.1";
    server.site.port = port;
    server.allowPrivate = options.allowPrivate;
    server.extractor = FindExtractor().value_or(std::wstring());
    auto serving = std::make_unique<ServiceServer>(server);
    if (!serving->Listen(nullptr)) return false;  // another copy, or the service run apart
    serving->Start();
    state.thread = std::move(serving);
    return true;
}

// Until the service process listens (true) or ends, within the limit. A use of the service
// must not ask before it listens: the request would be refused.
bool AwaitListening(const ChildProcess& child) {
    const HANDLE handles[] = {child.ready(), child.process()};
    std::optional<WPARAM> quit;
    const int signalled = WaitForAnyWithMessages(handles, 2, kOwnServiceListenWaitMs, quit);
    if (quit) PostQuitMessage(static_cast<int>(*quit));
    return signalled == 0;
}

}  // namespace

bool ServeServiceAddress(const std::string& base, const OwnServiceOptions& options) noexcept {
    try {
        const std::optional<int> port = OwnServicePort(base);
        if (!port) return false;
        OwnService& state = State();
        std::shared_ptr<const ChildProcess> child;
        {
            // Held while a step is chosen and taken, not while a service process is awaited:
            // the window's thread may wait for the lock, but then only briefly.
            std::lock_guard<std::timed_mutex> lock(state.mutex);
            if (state.ending) return false;
            if (!state.winsock) state.winsock = std::make_unique<WinsockScope>();
            if (!state.winsock->ok()) return false;
            static const std::wstring helper = HelperPath();
            const OwnServiceFacts facts{state.thread != nullptr, state.child && state.child->Running(), IsFile(helper)};
            switch (NextOwnServiceStep(facts, [&] { return AddressFree(*port); })) {
                case OwnServiceStep::kServed:
                    return true;
                case OwnServiceStep::kLeave:
                    return false;
                case OwnServiceStep::kAwaitChild:
                    break;
                case OwnServiceStep::kStartChild:
                    state.child = StartChild(helper, *port, options);
                    if (state.child) break;
                    [[fallthrough]];  // it cannot be started: serve as without it
                case OwnServiceStep::kServeFromThread:
                    return ServeFromThread(state, *port, options);
            }
            child = state.child;
        }
        return AwaitListening(*child);
    } catch (...) {
        return false;
    }
}

void EndOwnService() noexcept {
    try {
        OwnService& state = State();
        if (state.mutex.try_lock_for(std::chrono::milliseconds(kOwnServiceListenWaitMs))) {
            state.ending = true;
            state.mutex.unlock();
        }
    } catch (...) {
    }
}

}  // namespace ql::service
