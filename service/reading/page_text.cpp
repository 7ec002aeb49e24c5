#include "service/reading/page_text.h"

#include <array>
#include <utility>
#include <vector>

#include "service/reading/ascii.h"
#include "text/codepage.h"

namespace ql::service {

namespace {

constexpr std::size_t kMetaSearchBytes = 16384;
constexpr std::uint32_t kCodePage1252 = 1252;

bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

bool StartsWithNoCase(std::string_view s, std::size_t at, std::string_view lower) {
    if (s.size() - at < lower.size() || at > s.size()) return false;
    for (std::size_t i = 0; i < lower.size(); ++i) {
        if (Lower(s[at + i]) != lower[i]) return false;
    }
    return true;
}

bool IsLabelChar(char c) { return IsAlnum(c) || c == '_' || c == '.' || c == ':' || c == '-'; }

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
        if (IsAlnum(c) || c == '.') {
            if (punct && !out.empty()) out.push_back('_');
            out.push_back(Lower(c));
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

}  // namespace ql::service
