// The timed runner's worker thread: hostile servers give a defined result within the limit,
// a worker given up at the limit stops and lets go, and one that cannot be started or that
// throws ends nothing else.
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "base/owned_win.h"
#include "base/thread_entry_win.h"
#include "tests/web/server_helpers_win.h"
#include "web/timed_request.h"
#include "web/timed_request_win.h"

namespace ql {
namespace {

using namespace webtest;

const ByteSet kNotice = TextToBytes(kTimeoutNotice);

TEST(TimedRequest, WorkerThatCannotStartGivesTheEmptyResultAtOnce) {
    TimedRequestArguments arguments;
    arguments.url = ServerUrl("/echo/never");
    arguments.timeoutSeconds = 5;
    const int before = ServerCounter("requests");
    const double start = NowMs();
    const ByteSet body = RunTimedRequest(arguments, [](LPTHREAD_START_ROUTINE, void*) -> HANDLE { return nullptr; });
    EXPECT_TRUE(body.empty());
    EXPECT_LT(NowMs() - start, 1000.0);
    EXPECT_EQ(ServerCounter("requests"), before);
}

// The server's /big body: byte i is i % 251.
std::string Pattern(std::size_t n) {
    std::string bytes(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<char>(i % 251);
    }
    return bytes;
}

// Hostile servers: every one gives a defined result within the limit and a little.
TEST(TimedRequest, HostileServersGiveDefinedResultsInTime) {
    const std::string notice = AsString(kNotice);
    std::string cookies5000;
    for (int i = 0; i < 5000; ++i) {
        cookies5000 += "c" + std::to_string(i) + "=" + std::to_string(i) + ";";
    }
    struct Case {
        const char* path;
        int limitS;
        std::string body;  // "*" for any echo of the request
        const char* headersStart;
        std::string cookies;
    } cases[] = {
        {"/endless?framing=length", 2, notice, nullptr, ""},
        {"/endless?framing=close", 2, notice, nullptr, ""},
        {"/endless?framing=chunked", 2, notice, nullptr, ""},
        {"/hang", 2, notice, nullptr, ""},
        // Wine's Internet API takes time quadratic in the number of cookie lines: about 20 s
        // here on a quiet machine, well over 30 s on a busy one.
        {"/cookies?count=5000", 90, "*", "HTTP/1.1 200", cookies5000},
        // Wine's Internet API takes minutes over a block this size: there the notice comes.
        {"/bigheaders?bytes=2097152", 5, "*", "HTTP/1.1 200", ""},
        {"/loop", 10, "again", "HTTP/1.1 302", ""},  // the eleventh answer, a redirect itself
        {"/lie?declared=100000&bytes=1000", 10, Pattern(1000), "HTTP/1.1 200", ""},
        {"/close", 10, "", "", ""},
        {"/body?hex=", 10, "", "HTTP/1.1 200", ""},
    };
    for (const Case& c : cases) {
        Text headers = "untouched", received = "untouched";
        const int before = ServerCounter("requests");
        const double start = NowMs();
        const std::string body =
            AsString(TimedHttpRequest(ServerUrl(c.path), {}, {}, {}, {}, {}, c.limitS, &headers, {}, &received));
        const double elapsed = NowMs() - start;
        EXPECT_LT(elapsed, c.limitS * 1000.0 + 1500) << c.path;
        if (body == notice && c.body == "*" && std::string(c.path).rfind("/bigheaders", 0) == 0) {
            EXPECT_EQ(headers, Text("untouched"));
            continue;
        }
        if (c.body == "*") {
            EXPECT_EQ(ParseEcho(TextToBytes(Text(body))).requestLine.rfind("GET ", 0), 0u) << c.path;
        } else {
            EXPECT_TRUE(body == c.body) << c.path << ": " << body.size() << " bytes";
        }
        if (c.headersStart == nullptr) {
            EXPECT_EQ(headers, Text("untouched")) << c.path;
            continue;
        }
        EXPECT_EQ(headers.str().rfind(c.headersStart, 0), 0u) << c.path << ": " << headers.str().substr(0, 40);
        EXPECT_EQ(received.str(), c.cookies) << c.path;
        if (std::string(c.path) == "/loop") {
            EXPECT_EQ(ServerCounter("requests") - before, 1 + 10) << "ten redirects followed, then no more";
        }
        if (std::string(c.path).rfind("/bigheaders", 0) == 0) {
            EXPECT_GT(headers.size(), 2097152u);
            EXPECT_NE(headers.str().find("X-End: 1\r\n"), std::string::npos);
        }
    }
}

int ThreadCount() {
    UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int n = 0;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry)) {
        n += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    }
    return n;
}

double PrivateMegabytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof counters);
    return static_cast<double>(counters.PagefileUsage) / (1 << 20);
}

// A worker given up at the limit stops: after each of twenty time-outs against a body that
// never ends, the worker's thread is gone, its memory given back and its connection closed
// (within two seconds on a quiet machine; ten are allowed, for a busy one).
TEST(TimedRequest, GivenUpWorkersStopAndLetGo) {
    TimedHttpRequest(ServerUrl("/echo/warm-up"));
    PumpMessagesFor(300);
    // Endless bodies of earlier tests may still be read by Wine's close of their requests
    // (it reads what is left of a declared length); the server ends each within its longest
    // wait. Only then do this test's own connections show in the counters.
    for (int wait = 0; wait < 400 && ServerCounter("endless_closed") < ServerCounter("endless"); ++wait) {
        PumpMessagesFor(100);
    }
    ASSERT_EQ(ServerCounter("endless_closed"), ServerCounter("endless")) << "earlier endless bodies still sent";
    const int threads = ThreadCount();
    const double megabytes = PrivateMegabytes();
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(TimedHttpRequest(ServerUrl("/endless?framing=length"), {}, {}, {}, {}, {}, 1), kNotice);
        bool settled = false;
        for (int wait = 0; wait < 100 && !settled; ++wait) {
            PumpMessagesFor(100);
            settled = ThreadCount() <= threads && PrivateMegabytes() < megabytes + 32 &&
                      ServerCounter("endless_closed") == ServerCounter("endless");
        }
        ASSERT_TRUE(settled) << "time-out " << i + 1 << ": " << ThreadCount() << " threads (" << threads << " before), "
                             << PrivateMegabytes() << " MB (" << megabytes << " before), endless "
                             << ServerCounter("endless") << " closed " << ServerCounter("endless_closed");
    }
}

// A worker's routine that throws ends its own thread, never the program: what it was handed
// is released on the way, and the thread's exit code tells the guard stepped in.
struct OwnedByWorker {
    LONG* released;
    ~OwnedByWorker() { InterlockedIncrement(released); }
};

DWORD ThrowingRoutine(void* param) {
    const std::unique_ptr<OwnedByWorker> share(static_cast<OwnedByWorker*>(param));
    throw std::runtime_error("a worker's fault");
}

DWORD PlainRoutine(void* param) {
    const std::unique_ptr<OwnedByWorker> share(static_cast<OwnedByWorker*>(param));
    return 7;
}

TEST(ThreadEntry, AnExceptionEndsOnlyItsThread) {
    const struct {
        const char* what;
        LPTHREAD_START_ROUTINE entry;
        DWORD exitCode;
    } cases[] = {
        {"throwing routine", &GuardedThreadEntry<ThrowingRoutine>, kThreadEndedByException},
        {"plain routine", &GuardedThreadEntry<PlainRoutine>, 7},
    };
    for (const auto& c : cases) {
        LONG released = 0;
        auto* share = new OwnedByWorker{&released};
        const UniqueKernelHandle thread(CreateThread(nullptr, 0, c.entry, share, 0, nullptr));
        ASSERT_TRUE(thread) << c.what;
        ASSERT_EQ(WaitForSingleObject(thread.get(), 10000), WAIT_OBJECT_0) << c.what;
        DWORD code = 0;
        ASSERT_TRUE(GetExitCodeThread(thread.get(), &code)) << c.what;
        EXPECT_EQ(code, c.exitCode) << c.what;
        EXPECT_EQ(released, 1) << c.what << ": what the routine was handed is released";
    }
}

}  // namespace
}  // namespace ql
