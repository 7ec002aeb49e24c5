// Turning response bodies that arrived in UTF-8 or Big5 into the program's GBK text, and the
// conversions those are made of.
//
// Texts are read up to their end (a Text never holds a zero byte, so a body passed as a text
// ends at its first zero byte). Nothing fails: an empty input gives an empty result, bad
// bytes give replacement characters (see text/codepage.h).
#pragma once

#include <cstdint>

#include "text/codepage.h"
#include "text/text.h"

namespace ql {

// UTF-8 bytes to GBK; characters without a GBK form become "?".
Text Utf8TextToGbk(const Text& utf8);

// Big5 to GBK in simplified characters: Big5ToGbk, then ToSimplifiedChinese.
Text Big5ToSimplifiedGbk(const Text& big5);

// The text's characters as UTF-16 little-endian units followed by one zero unit; the empty
// text gives the empty byte set.
ByteSet MultiByteToUtf16Bytes(const Text& text, std::uint32_t codePage = kCodePageUtf8);

// UTF-16 little-endian units up to the first zero unit (or the end; an odd trailing byte is
// ignored) as a text in `codePage`, 0 being the system's ANSI code page. Characters without a
// form become "?".
Text Utf16BytesToMultiByte(const ByteSet& utf16, std::uint32_t codePage = kCodePageSystem);

// Big5 to GBK. The result ends just before the first character that has no GBK form.
Text Big5ToGbk(const Text& big5);

// Traditional characters of a GBK text replaced in place by their simplified forms; the
// length in bytes stays the same and every other byte is kept.
Text ToSimplifiedChinese(const Text& gbk);

ByteSet ZeroBytes(std::int32_t n);  // n zero bytes; empty for n <= 0
Text SpaceText(std::int32_t n);     // n spaces; empty for n <= 0

}  // namespace ql
