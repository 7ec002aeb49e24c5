// The XMLHTTP fetch's wait: a server that ends the connection, keeps silent or is given up
// on must neither freeze the thread's windows nor hold the caller past the limit, and leaves
// the next fetches working.
#include "resolve/xmlhttp.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "tests/resolve/xmlhttp_servers_win.h"

namespace ql {
namespace {

// A service that refuses the connection, or ends it without an answer, gives no body as soon
// as the component says so, not at the limit; and the fetch after it goes out and comes back.
TEST(FetchPageViaXmlHttp, AConnectionEndedWithoutAnAnswerEndsTheFetchAtOnce) {
    using Way = Unanswering::Way;
    LocalServer good;
    const struct {
        Way way;
        const char* name;
    } cases[] = {{Way::Refuse, "refused"}, {Way::Close, "closed"}, {Way::Reset, "reset"}};
    int n = 0;
    for (const auto& c : cases) {
        {
            Unanswering service(c.way);
            Text address = TextJoin("http://", service.Base(), "/x");
            const double start = NowMs();
            EXPECT_TRUE(FetchPageViaXmlHttp(address).empty()) << c.name;
            EXPECT_LT(NowMs() - start, 3000.0) << c.name;
        }
        good.Reply(std::string("after ") + c.name);
        Text address = TextJoin("http://", good.Base(), "/after", std::to_string(++n));
        EXPECT_EQ(AsString(FetchPageViaXmlHttp(address)), std::string("after ") + c.name);
    }
}

std::vector<double> g_ticks;
void CALLBACK RecordTick(HWND, UINT, UINT_PTR, DWORD) { g_ticks.push_back(NowMs()); }

// A service that keeps silent: the thread's timer keeps firing during the wait, and the reply
// that comes after 5 s is the result; a service silent past the limit gives nothing.
TEST(FetchPageViaXmlHttp, WindowKeepsWorkingWhileTheServiceIsSilent) {
    LocalServer server;
    struct Case {
        int silentMs;
        std::int64_t limitMs;
        const char* want;
    } cases[] = {
        {5000, kDefaultTimeLimitMs, "late"},
        {4000, 1500, ""},
    };
    for (const Case& c : cases) {
        server.Reply("late", "200 OK", c.silentMs);
        g_ticks.clear();
        const UINT_PTR timer = SetTimer(nullptr, 0, 20, &RecordTick);
        const double start = NowMs();
        Text address = TextJoin("http://", server.Base(), "/silent");
        const std::string got = AsString(FetchPageViaXmlHttp(address, c.limitMs));
        const double end = NowMs();
        KillTimer(nullptr, timer);
        EXPECT_EQ(got, c.want) << "silent " << c.silentMs << " ms";
        // From the first tick on: the first use of the component loads it, once per process.
        ASSERT_FALSE(g_ticks.empty());
        double longestGap = end - g_ticks.back();
        for (std::size_t i = 1; i < g_ticks.size(); ++i) {
            longestGap = std::max(longestGap, g_ticks[i] - g_ticks[i - 1]);
        }
        // A wait that held the thread would leave a gap of seconds; a busy machine may delay a
        // tick by a tenth of a second or more.
        EXPECT_LT(longestGap, 500.0) << "silent " << c.silentMs << " ms";
        EXPECT_LT(end - start, static_cast<double>(std::min<std::int64_t>(c.limitMs, c.silentMs)) + 2000.0);
    }
}

void CALLBACK QuitSoon(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    PostQuitMessage(7);
}

// The program quitting (its window closed) ends the wait at once; the quit stays posted for
// the program's own loop.
TEST(FetchPageViaXmlHttp, QuittingEndsTheWait) {
    LocalServer server;
    server.Reply("never read", "200 OK", 10000);
    SetTimer(nullptr, 0, 200, &QuitSoon);
    const double start = NowMs();
    Text address = TextJoin("http://", server.Base(), "/quit");
    EXPECT_TRUE(FetchPageViaXmlHttp(address).empty());
    EXPECT_LT(NowMs() - start, 5000.0);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

// After a request given up at the limit, the next ones go out and come back: an abort once
// left the thread's later requests completing at once, empty and unsent.
TEST(FetchPageViaXmlHttp, AFetchGivenUpLeavesTheNextOnesWorking) {
    {
        LocalServer silent;
        silent.Reply("late", "200 OK", 4000);
        Text address = TextJoin("http://", silent.Base(), "/given-up");
        EXPECT_TRUE(FetchPageViaXmlHttp(address, 1000).empty());
    }
    LocalServer server;
    for (int i = 0; i < 2; ++i) {
        server.Reply("fresh " + std::to_string(i));
        Text address = TextJoin("http://", server.Base(), "/next", std::to_string(i));
        EXPECT_EQ(AsString(FetchPageViaXmlHttp(address)), "fresh " + std::to_string(i));
    }
    EXPECT_EQ(server.Requests().size(), 2u);
}

}  // namespace
}  // namespace ql
