#include "tests/resolve/xmlhttp_servers_win.h"

#include <set>

namespace ql {
namespace {

// A socket bound to a free port on 127.0.0.1, and that port.
SOCKET BindLoopback(int& port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    at.sin_port = 0;
    bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at);
    int size = sizeof at;
    getsockname(s, reinterpret_cast<sockaddr*>(&at), &size);
    port = ntohs(at.sin_port);
    return s;
}

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

}  // namespace

LocalServer::LocalServer() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    // Every server of the program gets a port of its own: the client's connection pool
    // remembers connections by host and port, and a connection of an earlier server must
    // not be taken for one to this server.
    static std::set<int> used;
    std::vector<SOCKET> taken;
    for (;;) {
        listener_ = BindLoopback(port_);
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

LocalServer::~LocalServer() {
    stop_ = true;
    thread_.join();
    closesocket(listener_);
    WSACleanup();
}

void LocalServer::Reply(std::string body, std::string status, int delayMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    body_ = std::move(body);
    status_ = std::move(status);
    delayMs_ = delayMs;
}

std::vector<std::string> LocalServer::Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void LocalServer::Serve() {
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
            answer = "HTTP/1.1 " + status_ +
                     "\r\nContent-Type: application/octet-stream\r\nContent-Length: " + std::to_string(body_.size()) +
                     "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body_;
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

Unanswering::Unanswering(Way way) {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    listener_ = BindLoopback(port_);
    if (way == Way::Refuse) {
        closesocket(listener_);
        listener_ = INVALID_SOCKET;
        return;
    }
    listen(listener_, 8);
    thread_ = std::thread([this, way] { Serve(way); });
}

Unanswering::~Unanswering() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    if (listener_ != INVALID_SOCKET) {
        closesocket(listener_);
    }
    WSACleanup();
}

void Unanswering::Serve(Way way) {
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
}

}  // namespace ql
