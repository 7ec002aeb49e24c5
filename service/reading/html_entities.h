// Character references in HTML text ("&amp;", "&#x2F;", "&copy" without its ";"), read as
// browsers read them in attribute values.
#pragma once

#include <string>
#include <string_view>

namespace ql::service {

// UTF-8 text with every character reference replaced by what it stands for: a named one by
// its characters (the longest known name when the ";" is missing), a numeric one by its
// character (U+FFFD for a surrogate or a number past U+10FFFF, the Windows-1252 reading for
// 0x80-0x9F, nothing for a code point that may not stand in a page). Anything else stays.
std::string DecodeHtmlReferences(std::string_view text);

}  // namespace ql::service
