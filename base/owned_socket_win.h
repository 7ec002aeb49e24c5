// Owners of Winsock objects: sockets, address lists, and the library itself for one scope.
#pragma once

#ifdef _WIN32

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
// clang-format on

#include "base/owned_win.h"

namespace ql {

inline void CloseSocket(SOCKET socket) noexcept { closesocket(socket); }
using UniqueSocket = UniqueHandle<SOCKET, CloseSocket, INVALID_SOCKET>;

inline void FreeAddressList(addrinfo* list) noexcept { freeaddrinfo(list); }
using UniqueAddressList = UniqueHandle<addrinfo*, FreeAddressList>;

// Winsock started for the length of one scope, balanced on every path.
class WinsockScope {
public:
    WinsockScope() noexcept {
        WSADATA data;
        ok_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockScope() {
        if (ok_) WSACleanup();
    }
    WinsockScope(const WinsockScope&) = delete;
    WinsockScope& operator=(const WinsockScope&) = delete;
    bool ok() const noexcept { return ok_; }

private:
    bool ok_ = false;
};

}  // namespace ql

#endif
