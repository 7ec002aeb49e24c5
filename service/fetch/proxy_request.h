// What a client of the service's proxy asks for, read from its request line. The fetcher asks
// for one page at a time in absolute form ("GET http://host:port/path HTTP/1.1"); the site
// extractor asks for any page that way and opens its https connections as tunnels ("CONNECT
// host:port HTTP/1.1"), whose TLS it speaks itself. Pure text routines.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "service/fetch/fetch_url.h"

namespace ql::service {

struct ProxyRequest {
    std::string method;   // as sent
    bool tunnel = false;  // CONNECT: `target` names the host and port, its path is empty
    FetchUrl target;      // never https: an https page comes through a tunnel
};

// The request of `line` (without its CR LF); nothing for anything else: origin form, an https
// address in absolute form, a method that is not a token, user information, a tunnel's
// authority with a path, a missing or malformed host or port.
std::optional<ProxyRequest> ParseProxyRequestLine(std::string_view line);

}  // namespace ql::service
