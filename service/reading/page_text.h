// The text of a fetched page: its charset, chosen as browsers choose it, and its characters as
// UTF-8, the one encoding the page reading works in; and the small character classes the
// reading needs (Unicode white space and word characters, as the web's own tools use them).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ql::service {

enum class PageCharset { kUtf8, kGbk, kBig5, kWindows1252, kLatin1 };

// The charset a label names ("gb2312", " UTF-8 ", "latin1"…), or nothing for a label that
// names no charset a page is read in (an unknown name, or a name like "punycode" that is no
// text encoding of pages).
std::optional<PageCharset> CharsetFromLabel(std::string_view label);

// The label of the first <meta charset> or <meta http-equiv> line among the first 16 KiB of
// the page's bytes, or empty.
std::string MetaCharsetLabel(std::string_view body);

struct PageText {
    std::string utf8;
    PageCharset charset = PageCharset::kUtf8;
};

// The page's characters: after a UTF-8 byte-order mark as UTF-8; else in the charset the
// header names, else the one a <meta> line names, else UTF-8 when the bytes are valid UTF-8,
// else GBK. Bytes that form no character become U+FFFD.
PageText DecodePage(std::string_view body, std::string_view headerCharset);

// UTF-8 text in `charset`, or nothing when one of its characters has no form there.
std::optional<std::string> EncodeInCharset(std::string_view utf8, PageCharset charset);

// Bytes as UTF-8 with every invalid sequence (its longest valid beginning, or a single byte)
// replaced by U+FFFD.
std::string Utf8Replacing(std::string_view bytes);
bool IsValidUtf8(std::string_view bytes);
void AppendUtf8(std::string& out, char32_t c);
std::string Utf16ToUtf8(std::u16string_view units);

// The character that starts at s[i] of valid UTF-8, and its length in bytes.
char32_t CodePointAt(std::string_view s, std::size_t i, std::size_t* length);
// The character that ends just before s[i] (i > 0), and its length in bytes.
char32_t CodePointBefore(std::string_view s, std::size_t i, std::size_t* length);

// White space as the page reading knows it: ASCII white space, the separators 0x1C-0x1F and
// Unicode's spaces and line and paragraph separators.
bool IsUnicodeSpace(char32_t c);
// Letters, digits and "_" (ASCII), and the characters of other scripts (CJK, Latin letters
// with marks…); Unicode punctuation and spaces are no word characters.
bool IsWordChar(char32_t c);
// The text without white space at either end.
std::string_view TrimUnicodeSpace(std::string_view s);
bool HasUnicodeSpace(std::string_view s);

}  // namespace ql::service
