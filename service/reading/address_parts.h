// Addresses in their five parts, split, joined and resolved against a base exactly as the
// web's common address library does it (the reading of pages depends on its quirks: "http:x"
// is relative, a bracketed host must be an IPv6 address, empty path segments go).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ql::service {

// An address in its five parts (scheme in lower case; tabs and line breaks removed; leading
// controls and blanks dropped).
struct AddressParts {
    std::string scheme, netloc, path, query, fragment;
};
// Nothing for an address whose bracketed host is no IPv6 address, or with an unpaired bracket.
std::optional<AddressParts> SplitAddress(std::string_view address);
// The parts as one address again; an empty query or fragment leaves no "?" or "#".
std::string JoinAddress(const AddressParts& parts);
// The host of the parts' netloc in lower case (without user, port or brackets), or empty.
std::string HostOf(const AddressParts& parts);
// The port of the netloc: nothing when it is no number from 0 to 65535, 0 when there is none.
std::optional<unsigned> PortOf(const AddressParts& parts);
// `url` resolved against `base`, as text; an address of another scheme than the base's is
// given back as it is. Nothing when either cannot be split.
std::optional<std::string> ResolveReference(std::string_view base, std::string_view url);

}  // namespace ql::service
