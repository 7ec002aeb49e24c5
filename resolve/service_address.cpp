#include "resolve/service.h"

#ifndef QL_PARSE_SERVICE_BASE
#error "QL_PARSE_SERVICE_BASE: the parse service's base address, set by the build"
#endif

namespace ql {

Text ParseServiceQueryPrefix() { return TextJoin(QL_PARSE_SERVICE_BASE, "/parse.php?kw="); }

}  // namespace ql
