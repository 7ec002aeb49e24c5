// Decoding a page that may hold percent-escapes and UTF-8 bytes into GBK text.
//
// These conversions fix their own code pages (65001 and 936, never the system's ANSI code
// page) and take counted byte sets. Invalid UTF-8 becomes U+FFFD and then the GBK default
// character "?"; characters without a GBK form become "?"; a base character followed by a
// combining mark becomes the precomposed GBK character where there is one.
#pragma once

#include "text/text.h"

namespace ql {

// Percent-decodes byte by byte, then converts the bytes from UTF-8 to GBK. Every byte that is
// not part of an escape is copied as it is, "+" included (it does not become a space).
// Escape digits may be upper or lower case; a byte that is not a hex digit counts as -2, so
// "%zz" gives the byte 0xDE; "%00" contributes nothing. A "%" with fewer than two bytes after
// it is copied unchanged together with what follows it. A text that is already GBK does not
// survive: its byte pairs are not UTF-8 and come out as "?".
Text UrlDecode(const Text& text);

// UrlDecode with the sizes of its steps given: decoded escapes go to the converter
// `escapeBytes` at a time, and the converter cuts its pieces near `pieceBytes`. Every size
// from 1 on gives the same text; short sizes put the cuts everywhere in a short page.
Text UrlDecodeInSteps(const Text& text, std::size_t escapeBytes, std::size_t pieceBytes);

Text Utf8ToGbk(const ByteSet& utf8);
// Exactly 2 x (number of UTF-16 units) bytes, little-endian, without a terminator.
ByteSet Utf8ToUtf16Bytes(const ByteSet& utf8);
// An odd trailing byte is ignored; the text ends at the first zero unit.
Text Utf16BytesToGbk(const ByteSet& utf16);

}  // namespace ql
