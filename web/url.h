// Taking a request address apart, and cutting the name=value pair out of a cookie line.
//
// Pure text routines: every input yields a result, nothing fails. The addresses that reach
// them begin with "http://" or "https://" (the request runner puts "http://" in front of
// anything else), but any text gives a defined result.
#pragma once

#include <cstdint>
#include <optional>

#include "text/text.h"

namespace ql {

// Length of a leading "http://" (7) or "https://" (8) in any case; 0 for any other address.
std::int32_t SchemeLength(const Text& url);

// The host, lower case, without scheme, user name and password, path and port. Every
// "https://" and then every "http://" (in any case) is removed first, wherever it stands;
// then the host part ends at the first "/", a "user:password@" before it is dropped, and a
// ":" ends the host. A query that follows the host without "/" stays in it.
Text HostFromUrl(const Text& url);

// Everything from the first "/" after the host to the end, query and fragment included;
// "/" when there is none.
Text PathFromUrl(const Text& url);

// The number after the first ":" of the host part (after any "user:password@"), read by the
// text-to-number rule (an empty or non-numeric port text gives 0); 80 when the host part has
// no ":". Only a leading "http://" (in any case) is skipped: a secure request picks its own
// port.
std::int32_t PortFromUrl(const Text& url);

// The port written in an address: the number after the first ":" of the host part, read by
// the text-to-number rule; none when the host part has no ":". The host part is what lies
// between the first `skip` characters (the scheme, or 0) and the next "/", less any
// "user:password@".
std::optional<std::int64_t> WrittenPort(const Text& url, std::int32_t skip);

// The host part of an address (scheme and path already cut away) without a user name and
// password: what follows its last "@", or the whole part.
Text WithoutUserInfo(const Text& hostPart);

// The part of `text` before the first occurrence of `delimiter` at or after `start`
// (omitted, zero or negative: 1), counted from the beginning of the text; the empty text
// when the delimiter does not occur. A cookie line without ";" therefore gives the empty text.
Text TextBefore(const Text& text, const Text& delimiter, std::optional<std::int32_t> start = std::nullopt,
                bool ignoreCase = false);

}  // namespace ql
