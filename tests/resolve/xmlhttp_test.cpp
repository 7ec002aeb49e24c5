// The XMLHTTP fetch against a real server on 127.0.0.1 (a Winsock server thread in this
// test program): the body must come back byte for byte, whatever the bytes are.
#include "resolve/xmlhttp.h"

#include <winsock2.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ql {
namespace {

// Answers every request with the current `reply` body (status 200 unless set otherwise)
// and records each request line.
class LocalServer {
public:
    LocalServer() {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in at = {};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        at.sin_port = 0;
        bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at);
        listen(listener_, 8);
        int size = sizeof at;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size);
        port_ = ntohs(at.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~LocalServer() {
        stop_ = true;
        thread_.join();
        closesocket(listener_);
        WSACleanup();
    }
    std::string Base() const { return "127.0.0.1:" + std::to_string(port_); }
    void Reply(std::string body, std::string status = "200 OK") {
        std::lock_guard<std::mutex> lock(mutex_);
        body_ = std::move(body);
        status_ = std::move(status);
    }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    void Serve() {
        while (!stop_) {
            fd_set ready;
            FD_ZERO(&ready);
            FD_SET(listener_, &ready);
            timeval tick = {0, 20000};
            if (select(0, &ready, nullptr, nullptr, &tick) != 1) {
                continue;
            }
            SOCKET peer = accept(listener_, nullptr, nullptr);
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

TEST(FetchPageViaXmlHttp, ARefusedConnectionGivesNoBody) {
    // A port that was just free: nothing listens there any more.
    SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(probe, reinterpret_cast<sockaddr*>(&at), sizeof at);
    int size = sizeof at;
    getsockname(probe, reinterpret_cast<sockaddr*>(&at), &size);
    closesocket(probe);
    Text address = TextJoin("http://127.0.0.1:", std::to_string(ntohs(at.sin_port)), "/x");
    EXPECT_TRUE(FetchPageViaXmlHttp(address).empty());
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

}  // namespace
}  // namespace ql
