// The address of one fetch as the fetcher needs it, taken apart by the service's one address
// splitter (address_parts.h), and where a redirect's Location leads, resolved as an address
// in a page is (AbsoluteAddress). Pure text routines.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ql::service {

struct FetchUrl {
    bool https = false;
    std::string host;  // lower case; an IPv6 address without brackets; may be outside ASCII
    int port = 80;
    std::string path;  // path and query, from "/", plain ASCII (blanks and bytes outside ASCII
                       // percent-encoded); the fragment dropped

    // "http://host:port/path", the port only when it is not the scheme's own.
    std::string Text() const;
    // The Host header's value.
    std::string HostHeader() const;
};

// An absolute http or https address; nothing for another scheme, a missing or malformed host
// or port, or user information ("user@host" is a way to disguise the host).
std::optional<FetchUrl> ParseFetchUrl(std::string_view url);

// The address a redirect's Location leads to from `from`: absolute, scheme-relative,
// path-absolute or relative.
std::optional<FetchUrl> FollowLocation(const FetchUrl& from, std::string_view location);

}  // namespace ql::service
