// Where the parse service lives. The address is compiled into the program (it reads no
// configuration): the shipped program takes the CMake cache variable QINGLAN_PARSE_SERVICE,
// the end-to-end test build of the same program a local test server's address.
#pragma once

#include "text/text.h"

namespace ql {

// The service's base address followed by "/parse.php?kw=".
Text ParseServiceQueryPrefix();

}  // namespace ql
