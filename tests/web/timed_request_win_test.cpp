// The timed runner on the user-interface thread: its arguments on the wire, the time limit
// against a silent server, the window staying live during the wait, a nested request.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/web/server_helpers_win.h"
#include "web/timed_request.h"

namespace ql {
namespace {

using namespace webtest;

const ByteSet kNotice = TextToBytes(kTimeoutNotice);
// A tick of the system clock is 10–16 ms; the limit may be missed by a few.
constexpr double kSlackMs = 250;

TEST(TimedRequest, OnlyTheAddressGivesAPlainGet) {
    const EchoedRequest echo = ParseEcho(TimedHttpRequest(ServerUrl("/echo/only")));
    EXPECT_EQ(echo.requestLine, "GET /echo/only HTTP/1.1");
    EXPECT_TRUE(echo.Values("Cookie").empty());
    EXPECT_EQ(echo.Values("Accept-Language"), std::vector<std::string>{"zh-cn"});
}

TEST(TimedRequest, EveryArgumentReachesTheExchange) {
    const std::string port = std::to_string(webtest::ServerPort());
    Text headers = "untouched", cookies = "untouched";
    // Through the server as a proxy, to a port where nothing listens.
    const ByteSet body = TimedHttpRequest("http://127.0.0.1:1/redirect?to=/echo&set=t%3D1%3B%20path%3D%2Fonly-t", 1,
                                          Text("127.0.0.1:" + port), Text("X-Mine: 1\r\n"), TextToBytes("f=1"),
                                          Text("c=2"), 10, &headers, 0, &cookies, false);
    EXPECT_EQ(AsString(body), "moved");
    EXPECT_EQ(headers.str().rfind("HTTP/1.1 302", 0), 0u) << headers.str();
    EXPECT_EQ(cookies, Text("t=1;"));

    // The same request, echoed instead of redirected, shows what was sent.
    const EchoedRequest echo = ParseEcho(TimedHttpRequest("http://127.0.0.1:1/echo/all", 1, Text("127.0.0.1:" + port),
                                                          Text("X-Mine: 1\r\n"), TextToBytes("f=1"), Text("c=2")));
    EXPECT_EQ(echo.requestLine, "POST http://127.0.0.1:1/echo/all HTTP/1.1");
    EXPECT_EQ(echo.Values("X-Mine"), std::vector<std::string>{"1"});
    EXPECT_EQ(echo.Values("Cookie"), std::vector<std::string>{"c=2"});
    EXPECT_EQ(echo.body, "f=1");
}

TEST(TimedRequest, OmittedRedirectSwitchFollows) {
    Text headers;
    const ByteSet body = TimedHttpRequest(ServerUrl("/redirect?to=/echo/followed"), {}, {}, {}, {}, {}, 10, &headers);
    EXPECT_EQ(ParseEcho(body).requestLine, "GET /echo/followed HTTP/1.1");
    EXPECT_EQ(headers.str().rfind("HTTP/1.1 200", 0), 0u);
}

TEST(TimedRequest, AddressWithoutSchemeGetsHttp) {
    const std::string address = "127.0.0.1:" + std::to_string(webtest::ServerPort()) + "/echo/bare";
    EXPECT_EQ(ParseEcho(TimedHttpRequest(Text(address))).requestLine, "GET /echo/bare HTTP/1.1");
}

TEST(TimedRequest, BlankAddressReturnsAtOnceWithoutARequest) {
    const int before = ServerCounter("requests");
    for (const char* url : {"", "   "}) {
        Text headers = "untouched";
        const double start = NowMs();
        EXPECT_TRUE(TimedHttpRequest(url, {}, {}, {}, {}, {}, 5, &headers).empty()) << "'" << url << "'";
        EXPECT_LT(NowMs() - start, 1000.0);
        EXPECT_EQ(headers, Text("untouched"));
    }
    EXPECT_EQ(ServerCounter("requests"), before);
}

TEST(TimedRequest, ConvertedAndRawBodies) {
    struct Case {
        std::string hex;
        int convert;
        std::string want;
    } cases[] = {
        {"e4b8ade6968700e4b8ad", 1, "\xd6\xd0\xce\xc4"},  // UTF-8 中文, zero byte, 中
        {"baf4adb6", 2, "\xcd\xf8\xd2\xb3"},              // Big5 網頁 -> GBK 网页
        {"41004200", 0, std::string("A\0B\0", 4)},        // raw: zero bytes kept
        {"41004200", 9, std::string("A\0B\0", 4)},
    };
    for (const Case& c : cases) {
        const ByteSet body =
            TimedHttpRequest(ServerUrl("/body?hex=" + c.hex), {}, {}, {}, {}, {}, 10, nullptr, c.convert);
        EXPECT_EQ(AsString(body), c.want) << c.hex << " convert " << c.convert;
    }
}

TEST(TimedRequest, ZeroSecondsGivesTheNotice) {
    Text headers = "untouched", cookies = "untouched";
    const ByteSet body = TimedHttpRequest(ServerUrl("/echo/zero"), {}, {}, {}, {}, {}, 0, &headers, 1, &cookies);
    EXPECT_EQ(body, kNotice);
    EXPECT_EQ(headers, Text("untouched"));
    EXPECT_EQ(cookies, Text("untouched"));
}

// A timer that fires once, so that a message wakes the wait part-way through.
void CALLBACK OneShot(HWND, UINT, UINT_PTR id, DWORD) { KillTimer(nullptr, id); }

TEST(TimedRequest, LimitHoldsWhenMessagesWakeTheWait) {
    // A body that trickles in for 3 s: the worker outlives the limit, and a message half-way
    // wakes the wait, after which only the time that remains may be waited.
    const UINT_PTR timer = SetTimer(nullptr, 0, 500, &OneShot);
    const double start = NowMs();
    const ByteSet body = TimedHttpRequest(ServerUrl("/drip?bytes=30&ms=100"), {}, {}, {}, {}, {}, 1);
    const double elapsed = NowMs() - start;
    KillTimer(nullptr, timer);
    EXPECT_EQ(body, kNotice);
    EXPECT_GE(elapsed, 1000.0 - 20);
    EXPECT_LT(elapsed, 1000.0 + kSlackMs);
}

TEST(TimedRequest, SilentServerGivesTheNoticeWithinTheLimit) {
    const int closedBefore = ServerCounter("hung_closed");
    const double start = NowMs();
    const ByteSet body = TimedHttpRequest(ServerUrl("/hang"), {}, {}, {}, {}, {}, 1);
    const double elapsed = NowMs() - start;
    EXPECT_EQ(body, kNotice);
    EXPECT_GE(elapsed, 1000.0 - 20);
    EXPECT_LT(elapsed, 1000.0 + kSlackMs);

    // The abandoned worker's own time-outs end it, and it lets go of the connection.
    int closed = closedBefore;
    for (int i = 0; i < 50 && closed <= closedBefore; ++i) {
        PumpMessagesFor(100);
        closed = ServerCounter("hung_closed");
    }
    EXPECT_GT(closed, closedBefore);
}

TEST(TimedRequest, LateResultsNeverReachTheCaller) {
    Text headers = "untouched";
    const ByteSet body = TimedHttpRequest(ServerUrl("/slow?ms=1400"), {}, {}, {}, {}, {}, 1, &headers);
    EXPECT_EQ(body, kNotice);
    // The worker finishes meanwhile and writes its results into the record it shares.
    PumpMessagesFor(1200);
    EXPECT_EQ(headers, Text("untouched"));
    EXPECT_EQ(ParseEcho(TimedHttpRequest(ServerUrl("/echo/next"))).requestLine, "GET /echo/next HTTP/1.1");
}

void CALLBACK QuitSoon(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    PostQuitMessage(9);
}

// The window closed during the wait (a quit message taken by the wait): the wait ends at
// once, with no body and not the time-out notice, so the caller shows and writes nothing; the
// quit is posted again for the program's own loop. Once it waited for the server to answer.
TEST(TimedRequest, QuittingEndsTheWaitAtOnceWithNothing) {
    SetTimer(nullptr, 0, 200, &QuitSoon);
    const double start = NowMs();
    const ByteSet body = TimedHttpRequest(ServerUrl("/slow?ms=6000"), {}, {}, {}, {}, {}, 20);
    EXPECT_LT(NowMs() - start, 2000.0);
    EXPECT_TRUE(body.empty());
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 9u);
}

struct TickLog {
    std::vector<double> ticks;
} g_ticks;

void CALLBACK RecordTick(HWND, UINT, UINT_PTR, DWORD) { g_ticks.ticks.push_back(NowMs()); }

TEST(TimedRequest, WindowTimerKeepsFiringDuringTheWait) {
    g_ticks.ticks.clear();
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, &RecordTick);
    const double start = NowMs();
    const ByteSet body = TimedHttpRequest(ServerUrl("/slow?ms=3000"), {}, {}, {}, {}, {}, 20);
    const double end = NowMs();
    KillTimer(nullptr, timer);
    EXPECT_EQ(ParseEcho(body).requestLine, "GET /slow?ms=3000 HTTP/1.1");
    ASSERT_GE(g_ticks.ticks.size(), 10u);
    double longestGap = g_ticks.ticks.front() - start;
    for (std::size_t i = 1; i < g_ticks.ticks.size(); ++i) {
        longestGap = std::max(longestGap, g_ticks.ticks[i] - g_ticks.ticks[i - 1]);
    }
    longestGap = std::max(longestGap, end - g_ticks.ticks.back());
    std::printf("timer ticks during a 3 s request: %zu, longest gap %.0f ms\n", g_ticks.ticks.size(), longestGap);
    EXPECT_LT(longestGap, 500.0);
}

struct NestedLog {
    std::vector<std::string> events;
    ByteSet innerBody;
} g_nested;

void CALLBACK StartInnerRequest(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    g_nested.events.push_back("inner start");
    g_nested.innerBody = TimedHttpRequest(ServerUrl("/echo/inner"), {}, {}, {}, {}, {}, 10);
    g_nested.events.push_back("inner done");
}

TEST(TimedRequest, NestedRequestFromAHandlerCompletesFirst) {
    g_nested = NestedLog();
    SetTimer(nullptr, 0, 100, &StartInnerRequest);
    const ByteSet outer = TimedHttpRequest(ServerUrl("/slow?ms=1500"), {}, {}, {}, {}, {}, 10);
    g_nested.events.push_back("outer done");
    EXPECT_EQ(g_nested.events, (std::vector<std::string>{"inner start", "inner done", "outer done"}));
    EXPECT_EQ(ParseEcho(g_nested.innerBody).requestLine, "GET /echo/inner HTTP/1.1");
    EXPECT_EQ(ParseEcho(outer).requestLine, "GET /slow?ms=1500 HTTP/1.1");
}

}  // namespace
}  // namespace ql
