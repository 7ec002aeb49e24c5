// The Unicode side of reading a page: UTF-8 checked and repaired, UTF-16 turned into UTF-8,
// characters read one at a time, and the white space and word characters the reading uses.
#include <cstdint>
#include <string>
#include <string_view>

#include "service/reading/ascii.h"
#include "service/reading/page_text.h"

namespace ql::service {

namespace {

// The length of the valid UTF-8 sequence at s[i]; 0 with *bad set to the number of bytes
// that one U+FFFD stands for when there is none.
std::size_t ValidSequence(std::string_view s, std::size_t i, std::size_t* bad) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) return 1;
    std::size_t need;
    unsigned char low = 0x80, high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        need = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
        need = 2;
        if (b == 0xE0) low = 0xA0;
        if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        need = 3;
        if (b == 0xF0) low = 0x90;
        if (b == 0xF4) high = 0x8F;
    } else {
        *bad = 1;
        return 0;
    }
    for (std::size_t k = 1; k <= need; ++k) {
        const unsigned char c = i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0;
        if (i + k >= s.size() || c < low || c > high) {
            *bad = k;
            return 0;
        }
        low = 0x80;
        high = 0xBF;
    }
    return need + 1;
}

}  // namespace

std::string Utf8Replacing(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t run = 0;  // where the current run of valid bytes began
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t bad = 0;
        if (const std::size_t length = ValidSequence(bytes, i, &bad)) {
            i += length;
            continue;
        }
        out.append(bytes.substr(run, i - run));
        out.append("\xEF\xBF\xBD");
        i += bad;
        run = i;
    }
    out.append(bytes.substr(run));
    return out;
}

bool IsValidUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t bad = 0;
        const std::size_t length = ValidSequence(bytes, i, &bad);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string Utf16ToUtf8(std::u16string_view units) {
    std::string out;
    out.reserve(units.size() * 3 / 2);
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

char32_t CodePointAt(std::string_view s, std::size_t i, std::size_t* length) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    if (i + n > s.size()) n = 1;
    char32_t c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
    for (std::size_t k = 1; k < n; ++k)
        c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    *length = n;
    return c;
}

char32_t CodePointBefore(std::string_view s, std::size_t i, std::size_t* length) {
    std::size_t start = i - 1;
    while (start > 0 && i - start < 4 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80)
        --start;
    std::size_t n = 0;
    const char32_t c = CodePointAt(s, start, &n);
    if (start + n != i) {
        *length = 1;
        return static_cast<unsigned char>(s[i - 1]);
    }
    *length = n;
    return c;
}

bool IsUnicodeSpace(char32_t c) {
    if (c < 0x80) return c == ' ' || (c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x1F);
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

bool IsWordChar(char32_t c) {
    if (c < 0x80) return IsAlnum(static_cast<char>(c)) || c == '_';
    if (IsUnicodeSpace(c)) return false;
    // Latin-1 punctuation and symbols, general punctuation, CJK and full-width punctuation.
    if (c <= 0xBF)
        return c == 0xAA || c == 0xB2 || c == 0xB3 || c == 0xB5 || c == 0xB9 || c == 0xBA || (c >= 0xBC && c <= 0xBE);
    if (c == 0xD7 || c == 0xF7) return false;
    if ((c >= 0x2010 && c <= 0x2BFF) || (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF00 && c <= 0xFF0F) ||
        (c >= 0xFF1A && c <= 0xFF20) || (c >= 0xFF3B && c <= 0xFF40) || (c >= 0xFF5B && c <= 0xFF65) ||
        (c >= 0xFE30 && c <= 0xFE4F) || c == 0xFFFD) {
        return false;
    }
    return true;
}

std::string_view TrimUnicodeSpace(std::string_view s) {
    std::size_t length = 0;
    while (!s.empty() && IsUnicodeSpace(CodePointAt(s, 0, &length)))
        s.remove_prefix(length);
    while (!s.empty() && IsUnicodeSpace(CodePointBefore(s, s.size(), &length)))
        s.remove_suffix(length);
    return s;
}

bool HasUnicodeSpace(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        std::size_t length = 1;
        if (IsUnicodeSpace(CodePointAt(s, i, &length))) return true;
        i += length;
    }
    return false;
}

}  // namespace ql::service
