// Code-page conversion between byte texts and UTF-16, the same rules in both builds.
//
// The Windows build converts with MultiByteToWideChar / WideCharToMultiByte; the native build
// with its own UTF-8 coder, and for the other code pages with iconv's tables (asked once per
// character, then remembered). Code pages are named by their
// Windows numbers: 65001 UTF-8, 936 GBK, 950 Big5, and 0 for the system's ANSI code page
// (natively that is Windows-1252, which is what Wine's default ANSI code page is here).
//
// Whole buffers are converted at once; the input is counted, so a zero byte or unit is an
// ordinary character and comes out as one. Nothing fails: an unknown code page gives empty
// results, bad input gives replacement characters.
//
// Decoding (bytes to UTF-16), flags 0:
//   - UTF-8: every invalid sequence becomes U+FFFD; overlong forms and encoded surrogates
//     are invalid; characters beyond U+FFFF become surrogate pairs.
//   - GBK and Big5: a lead byte (0x81-0xFE) and the byte after it that form no character
//     become one "?", both bytes consumed ("81 20" gives "?", the space is swallowed), except
//     that a zero byte is never swallowed; a lead byte at the end becomes "?".
// Encoding (UTF-16 to bytes), no default character given:
//   - a unit with no form in the target code page becomes "?", the code page's default
//     character; so does a lone surrogate, and a surrogate pair without a form becomes "??".
//     To UTF-8 a lone surrogate becomes U+FFFD (EF BF BD).
//   - the result tells which unit was the first without a form, so a caller can end a text
//     there without relying on the system's handling of an empty default character.
//
// Known differences between the builds, all outside what the program relies on: Windows maps
// the user-defined areas of GBK and Big5 to private-use characters and applies its best-fit
// mappings when encoding (for example U+00B2 to "2"); the native build gives "?" for both.
// Wine's UTF-8 decoder swallows the rest of the input when a sequence is cut short by the
// end ("E7 41" at the end gives one U+FFFD); the native one keeps the "A".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/text.h"

namespace ql {

inline constexpr std::uint32_t kCodePageSystem = 0;
inline constexpr std::uint32_t kCodePageGbk = 936;
inline constexpr std::uint32_t kCodePageBig5 = 950;
inline constexpr std::uint32_t kCodePageUtf8 = 65001;

// WC_COMPOSITECHECK: when encoding, a base character followed by a combining mark becomes the
// precomposed character when the target code page has one (u + U+0308 gives GBK A8 B9, "ü").
inline constexpr std::uint32_t kEncodeCompositeCheck = 0x200;

// The combining marks that such a composition folds into the character before them: the
// combining diacritical marks and the two kana voicing marks.
inline constexpr bool IsCombiningMark(char16_t u) { return (u >= 0x0300 && u <= 0x036F) || u == 0x3099 || u == 0x309A; }

// The number of the code page that 0 stands for: the system's ANSI code page on Windows,
// 1252 natively.
std::uint32_t SystemCodePage();

std::u16string DecodeCodePage(std::uint32_t codePage, std::string_view bytes);

struct Encoded {
    std::string bytes;
    // Index of the first input unit that had no form in the code page, or npos.
    std::size_t firstUnmapped = std::string::npos;
    // Number of leading bytes of `bytes` that stand for the units before that one.
    std::size_t bytesBeforeUnmapped = 0;
};
Encoded EncodeCodePage(std::uint32_t codePage, std::u16string_view units, std::uint32_t flags = 0);

// UTF-8 bytes straight to `codePage`: the same bytes as EncodeCodePage(codePage,
// DecodeCodePage(kCodePageUtf8, utf8), flags).bytes, converted in pieces cut where no
// character can straddle the cut (before ASCII bytes, between whole ideographs), so the UTF-16
// step stays in the cache however long the input is, and the time grows with its length.
// `pieceBytes` is the size a piece is cut near; any size from 1 on gives the same bytes.
constexpr std::size_t kUtf8PieceBytes = 32 * 1024;
std::string Utf8ToCodePage(std::string_view utf8, std::uint32_t codePage, std::uint32_t flags = 0,
                           std::size_t pieceBytes = kUtf8PieceBytes);

// The same conversion for UTF-8 that arrives in parts (split anywhere, even inside a
// sequence): the parts are gathered and converted piece by piece as they come, so no copy of
// the whole input is ever made.
class Utf8Transcoder {
public:
    Utf8Transcoder(std::uint32_t codePage, std::uint32_t flags, std::size_t expectedOutput = 0,
                   std::size_t pieceBytes = kUtf8PieceBytes);
    void Append(std::string_view utf8);
    // Converts what is left and hands over the result; the transcoder is empty afterwards.
    std::string Finish();

private:
    std::uint32_t codePage_;
    std::uint32_t flags_;
    std::size_t piece_;
    std::string pending_;
    std::size_t searched_ = 0;  // where the search for a cut point goes on; 0: not begun
    std::string out_;
};

// UTF-16 code units as little-endian bytes, and back (an odd trailing byte is ignored).
ByteSet Utf16ToBytes(std::u16string_view units);
std::u16string Utf16FromBytes(const std::uint8_t* bytes, std::size_t count);

}  // namespace ql
