// The XMLHTTP fetch against a real server on 127.0.0.1 (a Winsock server thread in this
// test program): the body must come back byte for byte, whatever the bytes are, and a silent
// server must neither freeze the thread's windows nor hold the caller past the limit.
#include "resolve/xmlhttp.h"

#include <winsock2.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace ql {
namespace {

// The next connection to `listener`, if one comes within 20 ms; INVALID_SOCKET otherwise, so
// that a server's loop looks at its stop flag again.
SOCKET AcceptPending(SOCKET listener) {
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(listener, &ready);
    timeval tick = {0, 20000};
    if (select(0, &ready, nullptr, nullptr, &tick) != 1) {
        return INVALID_SOCKET;
    }
    return accept(listener, nullptr, nullptr);
}

// Answers every request with the current `reply` body (status 200 unless set otherwise)
// and records each request line.
class LocalServer {
public:
    LocalServer() {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        // Every server of the program gets a port of its own: the client's connection pool
        // remembers connections by host and port, and a connection of an earlier server must
        // not be taken for one to this server.
        static std::set<int> used;
        std::vector<SOCKET> taken;
        for (;;) {
            listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            sockaddr_in at = {};
            at.sin_family = AF_INET;
            at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            at.sin_port = 0;
            bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at);
            int size = sizeof at;
            getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size);
            port_ = ntohs(at.sin_port);
            if (used.insert(port_).second || taken.size() > 50) {
                break;
            }
            taken.push_back(listener_);
        }
        for (SOCKET s : taken) {
            closesocket(s);
        }
        listen(listener_, 8);
        thread_ = std::thread([this] { Serve(); });
    }
    ~LocalServer() {
        stop_ = true;
        thread_.join();
        closesocket(listener_);
        WSACleanup();
    }
    std::string Base() const { return "127.0.0.1:" + std::to_string(port_); }
    // `delayMs`: how long the server stays silent after reading a request, before it answers.
    void Reply(std::string body, std::string status = "200 OK", int delayMs = 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        body_ = std::move(body);
        status_ = std::move(status);
        delayMs_ = delayMs;
    }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    void Serve() {
        while (!stop_) {
            SOCKET peer = AcceptPending(listener_);
            if (peer == INVALID_SOCKET) {
                continue;
            }
            std::string request;
            char chunk[4096];
            while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
                const int n = recv(peer, chunk, sizeof chunk, 0);
                if (n <= 0) {
                    break;
                }
                request.append(chunk, static_cast<std::size_t>(n));
            }
            int delayMs = 0;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                delayMs = delayMs_;
            }
            for (const DWORD until = GetTickCount() + static_cast<DWORD>(delayMs);
                 !stop_ && static_cast<LONG>(GetTickCount() - until) < 0;) {
                Sleep(10);
            }
            if (stop_) {
                // Stopped while silent: no late answer is left behind for the client's
                // connection pool to hand to a later request.
                closesocket(peer);
                break;
            }
            std::string answer;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(request.substr(0, request.find("\r\n")));
                answer = "HTTP/1.1 " + status_ + "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                         std::to_string(body_.size()) + "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" +
                         body_;
            }
            std::size_t sent = 0;
            while (sent < answer.size()) {
                const int n = send(peer, answer.data() + sent, static_cast<int>(answer.size() - sent), 0);
                if (n <= 0) {
                    break;
                }
                sent += static_cast<std::size_t>(n);
            }
            shutdown(peer, SD_SEND);
            closesocket(peer);
        }
    }

    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::string body_, status_ = "200 OK";
    int delayMs_ = 0;
    std::vector<std::string> requests_;
    std::thread thread_;
};

std::string AsString(const ByteSet& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(FetchPageViaXmlHttp, ReturnsTheBodyUnchanged) {
    std::string everyByte;
    for (int i = 0; i < 256; ++i) {
        everyByte.push_back(static_cast<char>(i));
    }
    std::string large;
    for (int i = 0; i < (1 << 20); ++i) {
        large.push_back(static_cast<char>((static_cast<unsigned>(i) * 7919u) >> 3));
    }
    struct Case {
        const char* name;
        std::string body;
        std::string status;
    } cases[] = {
        {"text", "<html>视频</html>", "200 OK"},
        {"zero bytes", std::string("a\0b\0\0c", 6), "200 OK"},
        {"not GBK", std::string("\x81\x20\xff\xfe\x80\x00\xa1", 7), "200 OK"},
        {"every byte value", everyByte, "200 OK"},
        {"one MiB", large, "200 OK"},
        {"empty", "", "200 OK"},
        {"error page", "<h1>not here</h1>", "404 Not Found"},
    };
    LocalServer server;
    int n = 0;
    for (const Case& c : cases) {
        server.Reply(c.body, c.status);
        const std::string path = "/page" + std::to_string(++n);
        Text address = TextJoin("http://", server.Base(), path);
        const ByteSet body = FetchPageViaXmlHttp(address);
        EXPECT_EQ(body.size(), c.body.size()) << c.name;
        EXPECT_TRUE(AsString(body) == c.body) << c.name;
        EXPECT_EQ(address.str(), "http://" + server.Base() + path) << c.name;
    }
    EXPECT_EQ(server.Requests().size(), std::size(cases));
}

TEST(FetchPageViaXmlHttp, PutsHttpInFrontOfAnAddressWithoutIt) {
    LocalServer server;
    server.Reply("ok");
    struct Case {
        std::string given;    // after which the server's address and the path follow
        std::string fetched;  // what the caller's text holds afterwards
    } cases[] = {
        {"", "http://"},
        {"HTTP://", "HTTP://"},
        {"hTtP://", "hTtP://"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string path = "/prefix" + std::to_string(++n);
        Text address = TextJoin(c.given, server.Base(), path);
        EXPECT_EQ(AsString(FetchPageViaXmlHttp(address)), "ok") << c.given;
        EXPECT_EQ(address.str(), c.fetched + server.Base() + path) << c.given;
        const std::vector<std::string> seen = server.Requests();
        ASSERT_EQ(seen.size(), static_cast<std::size_t>(n));
        EXPECT_EQ(seen.back(), "GET " + path + " HTTP/1.1");
    }
}

double NowMs() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// A port on 127.0.0.1 that refuses (nothing listens), or a listener that takes each
// connection and ends it without an answer: closed in order, or reset.
class Unanswering {
public:
    enum class Way { Refuse, Close, Reset };
    explicit Unanswering(Way way) {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in at = {};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at);
        int size = sizeof at;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size);
        port_ = ntohs(at.sin_port);
        if (way == Way::Refuse) {
            closesocket(listener_);
            listener_ = INVALID_SOCKET;
            return;
        }
        listen(listener_, 8);
        thread_ = std::thread([this, way] {
            while (!stop_) {
                SOCKET peer = AcceptPending(listener_);
                if (peer == INVALID_SOCKET) {
                    continue;
                }
                char chunk[4096];
                recv(peer, chunk, sizeof chunk, 0);  // the request arrives, no answer goes out
                if (way == Way::Reset) {
                    linger hard = {1, 0};
                    setsockopt(peer, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
                } else {
                    shutdown(peer, SD_SEND);
                }
                closesocket(peer);
            }
        });
    }
    ~Unanswering() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        if (listener_ != INVALID_SOCKET) {
            closesocket(listener_);
        }
        WSACleanup();
    }
    std::string Base() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

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

// Start-up may have put the thread into either apartment before the first fetch.
TEST(FetchPageViaXmlHttp, WorksWhateverApartmentTheThreadIsIn) {
    LocalServer server;
    server.Reply("in an apartment");
    for (DWORD model : {COINIT_APARTMENTTHREADED, COINIT_MULTITHREADED}) {
        std::string got;
        std::thread caller([&] {
            CoInitializeEx(nullptr, model);
            Text address = TextJoin("http://", server.Base(), "/apartment", std::to_string(model));
            got = AsString(FetchPageViaXmlHttp(address));
            got += AsString(FetchPageViaXmlHttp(address));
            CoUninitialize();
        });
        caller.join();
        EXPECT_EQ(got, "in an apartmentin an apartment") << "model " << model;
    }
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
