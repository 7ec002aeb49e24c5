// Host names in their ASCII form (IDNA 2003): "例子.中国" becomes "xn--fsqu00a.xn--fiqs8s".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ql::service {

// The Punycode form (RFC 3492) of a label's characters, without the "xn--" prefix.
std::optional<std::string> PunycodeEncode(std::u32string_view label);

// The ASCII form of a UTF-8 host name: labels split at "." and its ideographic and full-width
// forms, each non-ASCII label mapped (full-width forms to ASCII, upper to lower case, the
// characters that map to nothing removed) and written as "xn--" and its Punycode. Nothing when
// a label is empty (but a final dot is kept), longer than 63 bytes, starts with "xn--" while
// not ASCII, or holds a character a host name may not hold (controls, non-ASCII spaces,
// private use, non-characters).
std::optional<std::string> HostToAscii(std::string_view utf8Host);

}  // namespace ql::service
