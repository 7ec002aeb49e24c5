#include "service/page_text.h"

#include <array>
#include <cctype>
#include <utility>
#include <vector>

#include "text/codepage.h"

namespace ql::service {

namespace {

constexpr std::size_t kMetaSearchBytes = 16384;
constexpr std::uint32_t kCodePage1252 = 1252;

bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

bool StartsWithNoCase(std::string_view s, std::size_t at, std::string_view lower) {
    if (s.size() - at < lower.size() || at > s.size()) return false;
    for (std::size_t i = 0; i < lower.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(s[at + i])) != lower[i]) return false;
    }
    return true;
}

bool IsLabelChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == ':' || c == '-';
}

// The length of "charset", white space, "=", white space, an optional quote, white space and
// a label at s[at], and where the label starts; 0 when there is none.
std::size_t CharsetAssignment(std::string_view s, std::size_t at, std::size_t* labelStart) {
    if (!StartsWithNoCase(s, at, "charset")) return 0;
    std::size_t i = at + 7;
    while (i < s.size() && IsAsciiSpace(s[i]))
        ++i;
    if (i == s.size() || s[i] != '=') return 0;
    ++i;
    while (i < s.size() && IsAsciiSpace(s[i]))
        ++i;
    if (i < s.size() && (s[i] == '"' || s[i] == '\'')) ++i;
    while (i < s.size() && IsAsciiSpace(s[i]))
        ++i;
    *labelStart = i;
    while (i < s.size() && IsLabelChar(s[i]))
        ++i;
    return i > *labelStart ? i - at : 0;
}

// A label as the codec registry compares it: lower case, runs of other characters than
// letters, digits and "." become one "_", none at either end.
std::string NormalizedLabel(std::string_view label) {
    std::string out;
    bool punct = false;
    for (char c : label) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '.') {
            if (punct && !out.empty()) out.push_back('_');
            out.push_back(static_cast<char>(std::tolower(u)));
            punct = false;
        } else {
            punct = true;
        }
    }
    return out;
}

struct LabelCharset {
    std::string_view label;
    PageCharset charset;
};

// Labels after NormalizedLabel. ISO-8859-1 and ASCII are read as Windows-1252, as browsers
// read them.
constexpr std::array<LabelCharset, 39> kLabels{{
    {"utf_8", PageCharset::kUtf8},
    {"utf8", PageCharset::kUtf8},
    {"u8", PageCharset::kUtf8},
    {"utf", PageCharset::kUtf8},
    {"utf_8_sig", PageCharset::kUtf8},
    {"cp65001", PageCharset::kUtf8},
    {"gb2312", PageCharset::kGbk},
    {"gbk", PageCharset::kGbk},
    {"x_gbk", PageCharset::kGbk},
    {"gb_2312_80", PageCharset::kGbk},
    {"gb2312_80", PageCharset::kGbk},
    {"gb2312_1980", PageCharset::kGbk},
    {"cp936", PageCharset::kGbk},
    {"ms936", PageCharset::kGbk},
    {"936", PageCharset::kGbk},
    {"gb18030", PageCharset::kGbk},
    {"gb18030_2000", PageCharset::kGbk},
    {"euc_cn", PageCharset::kGbk},
    {"euccn", PageCharset::kGbk},
    {"chinese", PageCharset::kGbk},
    {"big5", PageCharset::kBig5},
    {"big5_tw", PageCharset::kBig5},
    {"csbig5", PageCharset::kBig5},
    {"cp950", PageCharset::kBig5},
    {"ms950", PageCharset::kBig5},
    {"iso_8859_1", PageCharset::kWindows1252},
    {"latin1", PageCharset::kWindows1252},
    {"us_ascii", PageCharset::kWindows1252},
    {"ascii", PageCharset::kWindows1252},
    {"cp1252", PageCharset::kWindows1252},
    {"windows_1252", PageCharset::kWindows1252},
    {"1252", PageCharset::kWindows1252},
    {"iso8859_1", PageCharset::kLatin1},
    {"8859", PageCharset::kLatin1},
    {"cp819", PageCharset::kLatin1},
    {"l1", PageCharset::kLatin1},
    {"latin", PageCharset::kLatin1},
    {"latin_1", PageCharset::kLatin1},
    {"iso_ir_100", PageCharset::kLatin1},
}};

std::uint32_t CodePageOf(PageCharset charset) {
    switch (charset) {
        case PageCharset::kGbk:
            return kCodePageGbk;
        case PageCharset::kBig5:
            return kCodePageBig5;
        case PageCharset::kWindows1252:
            return kCodePage1252;
        default:
            return kCodePageUtf8;
    }
}

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

std::optional<PageCharset> CharsetFromLabel(std::string_view label) {
    const std::string normalized = NormalizedLabel(label);
    for (const LabelCharset& entry : kLabels) {
        if (entry.label == normalized) return entry.charset;
    }
    return std::nullopt;
}

std::string MetaCharsetLabel(std::string_view body) {
    const std::string_view head = body.substr(0, kMetaSearchBytes);
    const std::size_t n = head.size();
    // From each position: the next ">", and the next "charset = label" with its label.
    std::vector<std::size_t> nextGt(n + 1, n), nextAssignment(n + 1, n);
    std::vector<std::pair<std::size_t, std::size_t>> labelAt(n + 1);
    for (std::size_t i = n; i-- > 0;) {
        nextGt[i] = head[i] == '>' ? i : nextGt[i + 1];
        std::size_t start = 0;
        if (const std::size_t length = CharsetAssignment(head, i, &start)) {
            nextAssignment[i] = i;
            labelAt[i] = {start, i + length - start};
        } else {
            nextAssignment[i] = nextAssignment[i + 1];
            labelAt[i] = labelAt[i + 1];
        }
    }
    // The first "<meta" followed by at least one character and then an assignment, with no
    // ">" in between.
    for (std::size_t i = 0; i + 6 <= n; ++i) {
        if (!StartsWithNoCase(head, i, "<meta")) continue;
        const std::size_t at = nextAssignment[i + 6];
        if (at < n && nextGt[i + 5] >= at) return std::string(head.substr(labelAt[i + 6].first, labelAt[i + 6].second));
    }
    return std::string();
}

PageText DecodePage(std::string_view body, std::string_view headerCharset) {
    PageText page;
    if (body.substr(0, 3) == "\xEF\xBB\xBF") {
        page.utf8 = Utf8Replacing(body.substr(3));
        return page;
    }
    std::optional<PageCharset> charset = CharsetFromLabel(headerCharset);
    if (!charset) charset = CharsetFromLabel(MetaCharsetLabel(body));
    if (!charset) charset = IsValidUtf8(body) ? PageCharset::kUtf8 : PageCharset::kGbk;
    page.charset = *charset;
    switch (*charset) {
        case PageCharset::kUtf8:
            page.utf8 = Utf8Replacing(body);
            break;
        case PageCharset::kLatin1:
            page.utf8.reserve(body.size());
            for (char c : body)
                AppendUtf8(page.utf8, static_cast<unsigned char>(c));
            break;
        default:
            page.utf8 = Utf16ToUtf8(DecodeCodePage(CodePageOf(*charset), body));
            break;
    }
    return page;
}

std::optional<std::string> EncodeInCharset(std::string_view utf8, PageCharset charset) {
    if (charset == PageCharset::kUtf8) return std::string(utf8);
    if (charset == PageCharset::kLatin1) {
        std::string out;
        for (std::size_t i = 0; i < utf8.size();) {
            std::size_t length = 1;
            const char32_t c = CodePointAt(utf8, i, &length);
            if (c > 0xFF) return std::nullopt;
            out.push_back(static_cast<char>(c));
            i += length;
        }
        return out;
    }
    const std::u16string units = DecodeCodePage(kCodePageUtf8, utf8);
    Encoded encoded = EncodeCodePage(CodePageOf(charset), units);
    if (encoded.firstUnmapped != std::string::npos) return std::nullopt;
    return std::move(encoded.bytes);
}

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
    if (c < 0x80) return std::isalnum(static_cast<int>(c)) || c == '_';
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
