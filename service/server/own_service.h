// The program's own service, the decisions: whether the program serves its compiled-in
// address, and what a use of the service does about it — wait for the service process the
// program runs, leave the address to whoever has it, start the service process, or serve from
// a thread of the program when there is no service program to start.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace ql::service {

// The port of `base` when the program may serve it itself: http on 127.0.0.1 or localhost.
std::optional<int> OwnServicePort(const std::string& base);

// What the program knows when its service is to be used.
struct OwnServiceFacts {
    bool servingFromThread = false;  // a thread of the program serves it, for the rest of the run
    bool childRunning = false;       // the service process the program started last still runs
    bool helperBeside = false;       // qinglan_service.exe lies beside the program
};

enum class OwnServiceStep {
    kServed,           // nothing to do
    kAwaitChild,       // wait until the running service process listens
    kLeave,            // something else listens there: another copy, or the service run apart
    kStartChild,       // start the service process, then wait until it listens
    kServeFromThread,  // serve from a thread of the program
};

// The step for `facts`; `addressFree` (one attempt to take the address) is asked only when
// neither the thread nor a running service process has it: that process holds the address,
// and would be taken for another copy's.
OwnServiceStep NextOwnServiceStep(const OwnServiceFacts& facts, const std::function<bool()>& addressFree);

// The service program's arguments for `port`: quiet, and with `allowPrivate` fetching pages on
// private addresses too.
std::string OwnServiceArguments(int port, bool allowPrivate);

}  // namespace ql::service
