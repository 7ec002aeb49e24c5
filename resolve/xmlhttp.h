// An HTTP GET through the system's "Microsoft.XMLHTTP" component, driven by name through
// its automation interface, under a time limit. The parse-service query is the only caller.
#pragma once

#ifdef _WIN32

#include <cstdint>

#include "text/text.h"
#include "web/timed_request.h"

namespace ql {

// The reply body of a GET of `address`, byte for byte as received (no charset conversion;
// zero bytes kept); the status code is not looked at, so an error page's body comes back
// like any other. The empty byte set when the component cannot be created, the server
// cannot be reached or closes the connection without an answer (the fetch then ends as soon
// as the component says so), the body is empty, or no reply is in within `limitMs` (the
// request is then left to end on a thread of its own, and its answer is never read). An
// address that does not begin with "http://" (in any case) is fetched with that prefix, and
// `address` then holds the prefixed form.
//
// While it waits, the calling thread's window messages are handled: the window repaints,
// takes input and its other handlers can run. A quit message (the window was closed) ends
// the wait at once with the empty result and is posted again for the program's own loop.
// While it waits the pointer over the window has the background-work shape.
ByteSet FetchPageViaXmlHttp(Text& address, std::int64_t limitMs = kDefaultTimeLimitMs);

}  // namespace ql

#endif
