#include "service/fetch/socket_io_win.h"

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace ql::service {

namespace {

int MillisecondsLeft(Clock::time_point deadline, int most) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return left < most ? static_cast<int>(left) : most;
}

}  // namespace

bool WaitSocket(SOCKET socket, short events, Clock::time_point deadline, const std::atomic<bool>* stop) {
    while (true) {
        if (stop != nullptr && stop->load()) return false;
        const int slice = MillisecondsLeft(deadline, 100);
        if (slice <= 0) return false;
        WSAPOLLFD entry{};
        entry.fd = socket;
        entry.events = events;
        const int ready = WSAPoll(&entry, 1, slice);
        if (ready < 0) return false;
        if (ready > 0) return (entry.revents & (events | POLLHUP | POLLERR)) != 0;
    }
}

bool SendAll(SOCKET socket, std::string_view bytes, Clock::time_point deadline) {
    while (!bytes.empty()) {
        if (!WaitSocket(socket, POLLWRNORM, deadline)) return false;
        const int chunk = bytes.size() < (1 << 20) ? static_cast<int>(bytes.size()) : (1 << 20);
        const int sent = send(socket, bytes.data(), chunk, 0);
        if (sent == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEWOULDBLOCK) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

void SetNoDelay(SOCKET socket) {
    const BOOL on = TRUE;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

std::string AddressText(const sockaddr* address, int length) {
    char host[NI_MAXHOST] = {};
    if (getnameinfo(address, length, host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0) return std::string();
    return host;
}

namespace {

// getaddrinfo's answer for `host` as socket addresses; `error` is its result.
std::vector<SocketAddress> Resolve(const std::string& host, int port, int flags, int* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = flags;
    UniqueAddressList list;
    *error = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, list.put());
    std::vector<SocketAddress> addresses;
    for (const addrinfo* a = list.get(); *error == 0 && a != nullptr; a = a->ai_next) {
        if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
        SocketAddress address;
        std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
        address.length = static_cast<int>(a->ai_addrlen);
        address.text = AddressText(a->ai_addr, address.length);
        addresses.push_back(std::move(address));
    }
    return addresses;
}

}  // namespace

std::vector<SocketAddress> Lookup(const std::string& host, int port, Clock::time_point deadline, std::string* why) {
    // An address written as numbers asks no resolver and cannot hang: no thread for it.
    int error = 0;
    std::vector<SocketAddress> numeric = Resolve(host, port, AI_NUMERICHOST, &error);
    if (error == 0 && !numeric.empty()) return numeric;

    // Shared with the lookup's thread, which may outlive this call.
    struct Result {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        int error = 0;
        std::vector<SocketAddress> addresses;
    };
    auto result = std::make_shared<Result>();
    std::thread([result, host, port]() noexcept {
        try {
            int error = 0;
            std::vector<SocketAddress> addresses = Resolve(host, port, 0, &error);
            std::lock_guard<std::mutex> lock(result->mutex);
            result->error = error;
            result->addresses = std::move(addresses);
            result->finished = true;
            result->done.notify_all();
        } catch (...) {
            std::lock_guard<std::mutex> lock(result->mutex);
            result->error = WSAENOBUFS;
            result->finished = true;
            result->done.notify_all();
        }
    }).detach();
    std::unique_lock<std::mutex> lock(result->mutex);
    if (!result->done.wait_until(lock, deadline, [&] { return result->finished; })) {
        if (why) *why = "looking up " + host + " took past the deadline";
        return {};
    }
    if (result->error != 0 || result->addresses.empty()) {
        if (why) *why = "cannot look up " + host + " (error " + std::to_string(result->error) + ")";
        return {};
    }
    return result->addresses;
}

UniqueSocket ConnectFirst(const std::vector<SocketAddress>& addresses, Clock::time_point deadline, std::string* why) {
    std::string last = "no address";
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const auto now = Clock::now();
        if (now >= deadline) {
            last = "the deadline passed";
            break;
        }
        const auto share = (deadline - now) / static_cast<int>(addresses.size() - i);
        const SocketAddress& address = addresses[i];
        UniqueSocket socket(::socket(address.storage.ss_family, SOCK_STREAM, IPPROTO_TCP));
        if (!socket) continue;
        u_long nonBlocking = 1;
        ioctlsocket(socket.get(), FIONBIO, &nonBlocking);
        if (connect(socket.get(), reinterpret_cast<const sockaddr*>(&address.storage), address.length) == 0) {
            return socket;
        }
        if (WSAGetLastError() != WSAEWOULDBLOCK) {
            last = "cannot connect to " + address.text;
            continue;
        }
        if (!WaitSocket(socket.get(), POLLWRNORM, now + share)) {
            last = "no answer from " + address.text;
            continue;
        }
        int error = 0;
        int size = sizeof error;
        if (getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0 || error != 0) {
            last = "connection to " + address.text + " refused";
            continue;
        }
        return socket;
    }
    if (why) *why = last;
    return UniqueSocket();
}

UniqueSocket BindExclusive(const sockaddr* address, int length) {
    UniqueSocket bound(socket(address->sa_family, SOCK_STREAM, IPPROTO_TCP));
    if (!bound) return bound;
    BOOL exclusive = TRUE;
    setsockopt(bound.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
    if (bind(bound.get(), address, length) != 0) bound.reset();
    return bound;
}

}  // namespace ql::service
