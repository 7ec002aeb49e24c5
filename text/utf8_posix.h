// The native build's UTF-8 coder, by hand: iconv stops at invalid input, and the replacement
// rules here must be those of the Windows decoder, sequence for sequence (see codepage.h).
#pragma once

#include <string>
#include <string_view>

namespace ql {

// Every invalid sequence becomes U+FFFD; characters beyond U+FFFF become surrogate pairs.
std::u16string DecodeUtf8(std::string_view s);

// A lone surrogate becomes U+FFFD (EF BF BD).
std::string EncodeUtf8(std::u16string_view units);

}  // namespace ql
