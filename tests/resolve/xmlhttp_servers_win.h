// The local servers of the XMLHTTP fetch tests: Winsock server threads on 127.0.0.1 in the
// test program itself, one that answers and one that never does.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "resolve/xmlhttp.h"
#include "tests/web/server_helpers_win.h"

namespace ql {

// Answers every request with the current `reply` body (status 200 unless set otherwise)
// and records each request line.
class LocalServer {
public:
    LocalServer();
    ~LocalServer();
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;
    std::string Base() const { return "127.0.0.1:" + std::to_string(port_); }
    // `delayMs`: how long the server stays silent after reading a request, before it answers.
    void Reply(std::string body, std::string status = "200 OK", int delayMs = 0);
    std::vector<std::string> Requests();

private:
    void Serve();

    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::string body_, status_ = "200 OK";
    int delayMs_ = 0;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// A port on 127.0.0.1 that refuses (nothing listens), or a listener that takes each
// connection and ends it without an answer: closed in order, or reset.
class Unanswering {
public:
    enum class Way { Refuse, Close, Reset };
    explicit Unanswering(Way way);
    ~Unanswering();
    Unanswering(const Unanswering&) = delete;
    Unanswering& operator=(const Unanswering&) = delete;
    std::string Base() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    void Serve(Way way);

    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

using webtest::AsString;
using webtest::NowMs;

}  // namespace ql
