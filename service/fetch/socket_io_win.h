// Socket work under one deadline: waiting, sending, looking a name up and connecting, none of
// which may run past the time its caller has left.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/owned_socket_win.h"
#include "service/page_fetch.h"

namespace ql::service {

// Waits until `socket` is ready for `events` (POLLRDNORM, POLLWRNORM); false at the deadline,
// on an error, or once `stop` is set (checked every tenth of a second).
bool WaitSocket(SOCKET socket, short events, Clock::time_point deadline, const std::atomic<bool>* stop = nullptr);

// Sends all of `bytes`; false at the deadline or on an error.
bool SendAll(SOCKET socket, std::string_view bytes, Clock::time_point deadline);

struct SocketAddress {
    sockaddr_storage storage{};
    int length = 0;
    std::string text;  // numeric, for messages and the address filter
};

// The addresses of `host` (a name or a literal) for TCP port `port`. The system's lookup
// cannot be cut short, so it runs on a thread of its own that is left behind at the deadline.
std::vector<SocketAddress> Lookup(const std::string& host, int port, Clock::time_point deadline, std::string* why);

// How a fetch looks a name up: Lookup, or what a test answers in its place.
using LookupFunction =
    std::function<std::vector<SocketAddress>(const std::string& host, int port, Clock::time_point, std::string* why)>;

// Sends every piece as soon as it is written. A relay writes each piece it reads at once;
// held back until the peer acknowledges the last one (which it delays), each answer would
// wait tens of milliseconds.
void SetNoDelay(SOCKET socket);

// A connected socket to the first of `addresses` that answers; each gets an equal share of
// the time left, so no single silent address uses up the whole deadline.
UniqueSocket ConnectFirst(const std::vector<SocketAddress>& addresses, Clock::time_point deadline, std::string* why);

// A TCP socket bound to `address` exclusively: no other program may bind the address while it
// is open (a service's port cannot be taken over). Nothing when the address is taken.
UniqueSocket BindExclusive(const sockaddr* address, int length);

// The numeric form of a socket address.
std::string AddressText(const sockaddr* address, int length);

}  // namespace ql::service
