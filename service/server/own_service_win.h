// The program's own service: when the service address compiled into the program is on this
// machine's loopback and nothing listens there, the program serves it itself, on 127.0.0.1
// only, for as long as it runs. It runs the service as qinglan_service.exe, the program beside
// its own executable, in a process of its own that ends with the program: a service that
// reads hostile pages and fails cannot end the window. A use that finds that process gone
// starts it again. Without qinglan_service.exe beside it (or when it cannot be started), the
// program serves from a thread of its own. When another copy of the program (or the service
// run apart) has the address, that one answers; once it has gone, the next call takes the
// address over.
#pragma once

#include <string>

namespace ql::service {

struct OwnServiceOptions {
    // The service fetches pages on private addresses too (a test build's pages on 127.0.0.1).
    bool allowPrivate = false;
};

// Serves `base` ("http://127.0.0.1:47615") unless this program already does, something else
// listens there, or it is not on loopback. A service process it starts (or one started just
// before) is waited for until it listens, at most kOwnServiceListenWaitMs, with this thread's
// windows working meanwhile; one attempt to listen otherwise. True when this program serves
// the address after the call.
bool ServeServiceAddress(const std::string& base, const OwnServiceOptions& options) noexcept;

constexpr int kOwnServiceListenWaitMs = 5000;

// For the end of the program: waits until a service process being started is in its job (a
// moment; at most kOwnServiceListenWaitMs), and lets no call start one after. A process the
// system has created but not yet put into its job when the program ends would stay behind,
// suspended, for good (seen under Wine, where the creation takes tens of milliseconds).
void EndOwnService() noexcept;

}  // namespace ql::service
