// A synchronous HTTP GET through the system's "Microsoft.XMLHTTP" component, driven by
// name through its automation interface. The parse-service query is the only caller.
#pragma once

#ifdef _WIN32

#include "text/text.h"

namespace ql {

// The reply body of a GET of `address`, byte for byte as received (no charset conversion;
// zero bytes kept); the status code is not looked at, so an error page's body comes back
// like any other. The empty byte set when the component cannot be created, the server
// cannot be reached or the body is empty. An address that does not begin with "http://"
// (in any case) is fetched with that prefix, and `address` then holds the prefixed form.
// Blocks the calling thread until the component gives up or the reply is in.
ByteSet FetchPageViaXmlHttp(Text& address);

}  // namespace ql

#endif
