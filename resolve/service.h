// Where the parse service lives. The address is compiled into the program (it reads no
// configuration): the shipped program takes the CMake cache variable QINGLAN_PARSE_SERVICE,
// the end-to-end test build of the same program a local test server's address.
#pragma once

#include <cstdint>

#include "text/text.h"

namespace ql {

// The service's base address followed by "/parse.php?kw=".
Text ParseServiceQueryPrefix();

// The service's base address ("http://127.0.0.1:47615").
const char* ParseServiceBase();

// Whether the program serves that address itself when nothing else does: the shipped program
// does; the end-to-end test build, whose tests stand a service up or leave it away on
// purpose, does not.
bool ParseServiceServedByProgram();

// Whether the service the program serves itself also fetches pages on private addresses: the
// end-to-end test build of the program with its own service does (its test pages are on
// 127.0.0.1); the shipped program never does.
bool ParseServiceAllowsPrivate();

// How long the main action waits for the service's reply: 60 s, the timed runner's default
// limit (a test build may compile in a shorter one).
std::int64_t ParseServiceTimeLimitMs();

}  // namespace ql
