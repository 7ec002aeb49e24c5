// Main of the Windows web tests: GoogleTest with a watchdog. A test of a timed runner that
// hangs would otherwise block the whole suite; the watchdog names the test that ran too
// long and ends the process with exit code 3.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "tests/web/server_helpers_win.h"
#include "web/http_request.h"

namespace {

// Above the longest test's own limits: the hostile-server table allows up to 158 s in all
// (its rows' limits and a second and a half each), and the watchdog must only catch a hang.
constexpr ULONGLONG kTestLimitMs = 180000;

std::atomic<ULONGLONG> g_deadline{0};  // 0: no test running
char g_testName[256];

DWORD WINAPI Watch(void*) {
    for (;;) {
        Sleep(200);
        const ULONGLONG deadline = g_deadline.load();
        if (deadline != 0 && GetTickCount64() > deadline) {
            std::fprintf(stderr, "\nwatchdog: %s still running after %llu s; ending the test program\n", g_testName,
                         kTestLimitMs / 1000);
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
}

class WatchdogListener : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo& info) override {
        std::snprintf(g_testName, sizeof g_testName, "%s.%s", info.test_suite_name(), info.name());
        g_deadline = GetTickCount64() + kTestLimitMs;
    }
    void OnTestEnd(const testing::TestInfo&) override { g_deadline = 0; }
};

}  // namespace

namespace ql::webtest {

int ServerCounter(const std::string& name) {
    HttpRequestInput in;
    in.address = ServerUrl("/__stats");
    const std::string stats = AsString(PerformHttpRequest(in, 10000).body);
    const auto at = stats.find(name + "=");
    return at == std::string::npos ? -1 : std::atoi(stats.c_str() + at + name.size() + 1);
}

}  // namespace ql::webtest

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (ql::webtest::ServerPort() == 0) {
        std::fprintf(stderr, "QL_TEST_SERVER_PORT is not set: run this program through tests/web/run_with_server.py\n");
        return 2;
    }
    testing::UnitTest::GetInstance()->listeners().Append(new WatchdogListener);
    CloseHandle(CreateThread(nullptr, 0, &Watch, nullptr, 0, nullptr));
    return RUN_ALL_TESTS();
}
