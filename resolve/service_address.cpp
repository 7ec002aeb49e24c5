#include "resolve/service.h"

#ifndef QL_PARSE_SERVICE_BASE
#error "QL_PARSE_SERVICE_BASE: the parse service's base address, set by the build"
#endif

#include "web/timed_request.h"

// The timed runner's default limit unless the build compiles in another.
#ifndef QL_PARSE_SERVICE_LIMIT_MS
#define QL_PARSE_SERVICE_LIMIT_MS kDefaultTimeLimitMs
#endif

#ifndef QL_PARSE_SERVICE_SERVED
#define QL_PARSE_SERVICE_SERVED 1
#endif

#ifndef QL_PARSE_SERVICE_ALLOW_PRIVATE
#define QL_PARSE_SERVICE_ALLOW_PRIVATE 0
#endif

namespace ql {

const char* ParseServiceBase() { return QL_PARSE_SERVICE_BASE; }

bool ParseServiceServedByProgram() { return QL_PARSE_SERVICE_SERVED != 0; }

bool ParseServiceAllowsPrivate() { return QL_PARSE_SERVICE_ALLOW_PRIVATE != 0; }

Text ParseServiceQueryPrefix() { return TextJoin(QL_PARSE_SERVICE_BASE, "/parse.php?kw="); }

std::int64_t ParseServiceTimeLimitMs() { return QL_PARSE_SERVICE_LIMIT_MS; }

}  // namespace ql
