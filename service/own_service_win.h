// The program's own service: when the service address compiled into the program is on this
// machine's loopback and nothing listens there, the program serves it itself, on 127.0.0.1
// only, from a thread of its own, for as long as it runs. When another copy of the program
// (or the service run apart) has the address, that one answers; once it has gone, the next
// call takes the address over.
#pragma once

#include <string>

namespace ql::service {

// Serves `base` ("http://127.0.0.1:47615") unless this program already does, something else
// listens there, or it is not on loopback. Quick (one attempt to listen), never waits for the
// service; true when this program serves the address after the call.
bool ServeServiceAddress(const std::string& base) noexcept;

}  // namespace ql::service
