// The proxy the user set for the system, read as the system's own HTTP stacks read it: the
// proxy list ("ProxyServer") and the bypass list ("ProxyOverride") of the current user's
// settings. Pure text routines; the settings themselves are read on Windows.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ql::service {

struct ProxyEndpoint {
    std::string host;  // lower case; an IPv6 address without brackets
    int port = 80;
};

// The proxy `proxyList` names for an http (or, with `https`, an https) target. Entries are
// separated by ';' or blanks; "http=host:port" and "https=host:port" name the proxy of one
// scheme, a bare "host:port" that of every scheme, and the scheme's own entry wins over a bare
// one (the first well-formed one of each kind counts). Other schemes' entries ("ftp=", "socks=") are ignored.
// The host may carry "http://" or "https://" in front and an IPv6 address is written in
// brackets; the port is 80 when missing. A malformed entry counts as absent.
std::optional<ProxyEndpoint> ProxyFor(std::string_view proxyList, bool https);

// Whether the target `host`:`port` (http, or https with `https`) is reached directly by the
// rules of `bypassList`: entries separated by ';', ',' or blanks, matched without regard to
// case, '*' standing for any run of characters ("*.example.com", "192.168.*"). An entry may
// carry a scheme ("http://intranet", only for that scheme) and a port ("intranet:8080", only
// for that port). "<local>" is every name without a dot ("localhost" among them), not an
// address literal. Other "<...>" entries are ignored. `host` may be in any case, with a
// trailing dot, and an IPv6 address with or without brackets.
bool BypassesProxy(std::string_view bypassList, std::string_view host, int port, bool https);

}  // namespace ql::service
