#include "service/pinning_proxy_win.h"

#include <utility>

#include "service/address_filter.h"
#include "service/ascii.h"
#include "service/fetch_url.h"
#include "service/socket_io_win.h"

namespace ql::service {

namespace {

// Connections one fetch may open through its proxy: one a hop, and a few to spare.
constexpr std::size_t kMaxTunnels = 2 * (kMaxRedirects + 1);
constexpr std::size_t kMaxProxyHead = 16 * 1024;

bool StartsWithIgnoringCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (Lower(s[i]) != Lower(prefix[i])) return false;
    }
    return true;
}

// Copies bytes both ways until one side closes, the deadline passes or the proxy stops.
void Relay(SOCKET a, SOCKET b, Clock::time_point deadline, const std::atomic<bool>& stop) {
    char buffer[65536];
    while (!stop.load() && Clock::now() < deadline) {
        WSAPOLLFD entries[2] = {};
        entries[0].fd = a;
        entries[0].events = POLLRDNORM;
        entries[1].fd = b;
        entries[1].events = POLLRDNORM;
        const int ready = WSAPoll(entries, 2, 100);
        if (ready < 0) return;
        for (int i = 0; i < 2; ++i) {
            if (entries[i].revents == 0) continue;
            const SOCKET from = i == 0 ? a : b;
            const SOCKET to = i == 0 ? b : a;
            const int got = recv(from, buffer, sizeof buffer, 0);
            if (got <= 0) {
                if (got < 0 && WSAGetLastError() == WSAEWOULDBLOCK) continue;
                return;
            }
            if (!SendAll(to, std::string_view(buffer, static_cast<std::size_t>(got)), deadline)) return;
        }
    }
}

}  // namespace

PinningProxy::PinningProxy(bool allowPrivate, Clock::time_point deadline, LookupFunction lookup, AddressJudge judge)
    : allowPrivate_(allowPrivate), deadline_(deadline), lookup_(std::move(lookup)), judge_(std::move(judge)) {}

PinningProxy::~PinningProxy() {
    stop_ = true;
    if (acceptor_.joinable()) {
        // A connection of our own wakes the acceptor's wait at once instead of at the end of
        // its slice, so that a fetch's end is not held up by its proxy.
        WakeListener();
        acceptor_.join();
    }
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        workers.swap(workers_);
    }
    for (std::thread& worker : workers)
        worker.join();
}

bool PinningProxy::Start(std::string* why) {
    listener_.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    address_.sin_family = AF_INET;
    address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address_.sin_port = 0;
    int length = sizeof address_;
    if (!listener_ || bind(listener_.get(), reinterpret_cast<sockaddr*>(&address_), sizeof address_) != 0 ||
        listen(listener_.get(), 8) != 0 ||
        getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address_), &length) != 0) {
        if (why) *why = "cannot open the fetch's proxy (error " + std::to_string(WSAGetLastError()) + ")";
        return false;
    }
    acceptor_ = std::thread([this]() noexcept { Accept(); });
    return true;
}

void PinningProxy::WakeListener() {
    UniqueSocket wake(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (wake) connect(wake.get(), reinterpret_cast<const sockaddr*>(&address_), sizeof address_);
}

std::string PinningProxy::refusal() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return refusal_;
}

void PinningProxy::Refuse(const std::string& why) {
    std::lock_guard<std::mutex> lock(mutex_);
    refusal_ = why;
}

void PinningProxy::Accept() noexcept {
    try {
        while (WaitSocket(listener_.get(), POLLRDNORM, deadline_, &stop_)) {
            UniqueSocket client(accept(listener_.get(), nullptr, nullptr));
            if (stop_) break;
            if (!client) continue;
            SetNoDelay(client.get());
            std::lock_guard<std::mutex> lock(mutex_);
            if (workers_.size() >= kMaxTunnels) continue;  // closes the client
            workers_.emplace_back([this, c = std::move(client)]() mutable noexcept { Serve(std::move(c)); });
        }
    } catch (...) {
        // Out of threads or memory: the fetch fails on its own.
    }
}

void PinningProxy::Serve(UniqueSocket client) noexcept {
    try {
        // The system's request to the proxy: a CONNECT, or a GET in absolute form.
        std::string head;
        char buffer[4096];
        std::size_t end = std::string::npos;
        while ((end = head.find("\r\n\r\n")) == std::string::npos) {
            if (head.size() > kMaxProxyHead || !WaitSocket(client.get(), POLLRDNORM, deadline_, &stop_)) return;
            const int got = recv(client.get(), buffer, sizeof buffer, 0);
            if (got <= 0) return;
            head.append(buffer, static_cast<std::size_t>(got));
        }
        const std::string rest = head.substr(end + 4);
        head.resize(end + 2);
        const std::size_t lineEnd = head.find("\r\n");
        const std::string line = head.substr(0, lineEnd);
        const bool tunnel = StartsWithIgnoringCase(line, "CONNECT ");
        std::optional<FetchUrl> target;
        std::string requestLine;
        if (tunnel) {
            const std::size_t sp = line.find(' ', 8);
            target = ParseFetchUrl("https://" + line.substr(8, sp - 8) + "/");
        } else if (StartsWithIgnoringCase(line, "GET ")) {
            const std::size_t sp = line.rfind(' ');
            target = sp > 4 ? ParseFetchUrl(line.substr(4, sp - 4)) : std::nullopt;
            if (target && target->https) target.reset();
            if (target) requestLine = "GET " + target->path + line.substr(sp);
        }
        const auto answer = [&](const char* status) {
            SendAll(client.get(),
                    std::string("HTTP/1.1 ") + status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
                    deadline_);
        };
        if (!target) {
            Refuse("the system asked its proxy for something other than a page: " + line.substr(0, 100));
            answer("400 Bad Request");
            return;
        }
        if (!allowPrivate_ && !HostAllowed(target->host)) {
            Refuse(target->host + " is a local or reserved name or address");
            answer("403 Forbidden");
            return;
        }
        std::string why;
        std::vector<SocketAddress> addresses = lookup_(target->host, target->port, deadline_, &why);
        std::vector<SocketAddress> allowed;
        std::string refused;
        for (SocketAddress& address : addresses) {
            const auto ip = ParseIpAddress(address.text);
            if (allowPrivate_ || (ip && judge_(*ip))) {
                allowed.push_back(std::move(address));
            } else {
                refused += (refused.empty() ? "" : ", ") + address.text;
            }
        }
        if (allowed.empty()) {
            Refuse(addresses.empty() ? why : target->host + " leads only to addresses that are not public: " + refused);
            answer(addresses.empty() ? "502 Bad Gateway" : "403 Forbidden");
            return;
        }
        UniqueSocket server = ConnectFirst(allowed, deadline_, &why);
        if (!server) {
            Refuse(why);
            answer("504 Gateway Timeout");
            return;
        }
        SetNoDelay(server.get());
        if (tunnel) {
            if (!SendAll(client.get(), "HTTP/1.1 200 Connection established\r\n\r\n", deadline_)) return;
        } else {
            // The request in origin form, without the headers meant for the proxy; one
            // request on this connection.
            std::string forward = requestLine + "\r\n";
            std::size_t at = lineEnd + 2;
            while (at < head.size()) {
                const std::size_t next = head.find("\r\n", at);
                const std::string header = head.substr(at, next - at);
                at = next + 2;
                if (StartsWithIgnoringCase(header, "proxy-") || StartsWithIgnoringCase(header, "connection:")) continue;
                forward += header + "\r\n";
            }
            forward += "Connection: close\r\n\r\n";
            if (!SendAll(server.get(), forward, deadline_)) return;
        }
        if (!rest.empty() && !SendAll(server.get(), rest, deadline_)) return;
        Relay(client.get(), server.get(), deadline_, stop_);
    } catch (...) {
        Refuse("the fetch's proxy ran out of memory");
    }
}

}  // namespace ql::service
