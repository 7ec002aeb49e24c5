#include "service/reading/html_scan.h"

#include "service/reading/page_text.h"

namespace ql::service::html_scan {

namespace {

// "]", white space, then ">" (twice = false) or "]", white space, ">".
std::size_t FindBracketClose(std::string_view s, std::size_t p, std::size_t* end, bool twice) {
    for (std::size_t at = s.find(']', p); at != npos; at = s.find(']', at + 1)) {
        std::size_t i = SkipSpace(s, at + 1);
        if (twice) {
            if (i >= s.size() || s[i] != ']') continue;
            i = SkipSpace(s, i + 1);
        }
        if (i < s.size() && s[i] == '>') {
            *end = i + 1;
            return at;
        }
    }
    return npos;
}

}  // namespace

bool SpaceAt(std::string_view s, std::size_t i, std::size_t* length) {
    *length = 1;
    if (i >= s.size()) return false;
    const unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) return IsUnicodeSpace(b);
    return IsUnicodeSpace(CodePointAt(s, i, length));
}

std::size_t SkipSpace(std::string_view s, std::size_t i) {
    std::size_t length = 1;
    while (SpaceAt(s, i, &length))
        i += length;
    return i;
}

std::size_t FindGt(std::string_view s, std::size_t p, std::size_t* end) {
    const std::size_t at = s.find('>', p);
    *end = at == npos ? npos : at + 1;
    return at;
}

// "--", white space, ">".
std::size_t FindCommentClose(std::string_view s, std::size_t p, std::size_t* end) {
    for (std::size_t at = s.find("--", p); at != npos; at = s.find("--", at + 1)) {
        const std::size_t gt = SkipSpace(s, at + 2);
        if (gt < s.size() && s[gt] == '>') {
            *end = gt + 1;
            return at;
        }
    }
    return npos;
}

std::size_t FindSectionClose(std::string_view s, std::size_t p, std::size_t* end) {
    return FindBracketClose(s, p, end, true);
}
std::size_t FindOfficeSectionClose(std::string_view s, std::size_t p, std::size_t* end) {
    return FindBracketClose(s, p, end, false);
}

// One attribute at s[k] (name, then optionally "=" and a value, then blanks and lone "/"),
// as the tolerant parsers match it, backtracking included: a value whose quote never closes
// is read as an empty value or as a bare value that starts at the last "=", or not at all.
// `lastQuote` holds the last place of ' and of " in the page.
bool MatchAttribute(std::string_view s, std::size_t k, std::size_t limit, const std::size_t lastQuote[2],
                    AttributeMatch* m) {
    if (k >= limit || k == 0) return false;
    std::size_t length = 1;
    const char32_t before = CodePointBefore(s, k, &length);
    if (!(before == '\'' || before == '"' || before == '/' || IsUnicodeSpace(before))) return false;
    if (s[k] == '/' || s[k] == '>' || SpaceAt(s, k, &length)) return false;
    m->nameBegin = k;
    std::size_t p = k;
    do {
        p += length;
    } while (p < limit && s[p] != '/' && s[p] != '=' && s[p] != '>' && !SpaceAt(s, p, &length));
    m->nameEnd = p;
    m->hasValue = false;
    const std::size_t q = SkipSpace(s, p);
    if (q < limit && s[q] == '=') {
        std::size_t e = q;
        while (e < limit && s[e] == '=')
            ++e;
        const std::size_t w = SkipSpace(s, e);
        auto bare = [&](std::size_t from) {
            std::size_t v = from;
            std::size_t len = 1;
            while (v < limit && s[v] != '>' && !SpaceAt(s, v, &len))
                v += len;
            m->hasValue = true;
            m->valueBegin = from;
            m->valueEnd = v;
            return v;
        };
        if (w < limit && (s[w] == '\'' || s[w] == '"')) {
            const char quote = s[w];
            const std::size_t last = lastQuote[quote == '"'];
            if (last != npos && last > w && last < limit) {
                const std::size_t close = s.find(quote, w + 1);
                m->hasValue = true;
                m->valueBegin = w + 1;
                m->valueEnd = close;
                p = close + 1;
            } else if (w > e) {
                p = bare(w - 1);  // the blank before the quote: an empty value
            } else if (e - q >= 2) {
                p = bare(e - 1);  // a value from the last "="
            }
        } else {
            p = bare(w);
        }
    }
    std::size_t len = 1;
    while (p < limit && (SpaceAt(s, p, &len) || (s[p] == '/' && !(p + 1 < limit && s[p + 1] == '>'))))
        p += len;
    m->end = p;
    return true;
}

// The end of a tag name that starts at s[i].
std::size_t TagNameEnd(std::string_view s, std::size_t i) {
    while (i < s.size()) {
        const char c = s[i];
        if (c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == ' ' || c == '/' || c == '>' || c == '\0') break;
        ++i;
    }
    return i;
}

// Blanks and lone "/" (not the one of "/>").
std::size_t SkipSeparators(std::string_view s, std::size_t p, std::size_t limit) {
    std::size_t len = 1;
    while (p < limit && (SpaceAt(s, p, &len) || (s[p] == '/' && !(p + 1 < limit && s[p + 1] == '>'))))
        p += len;
    return p;
}
}  // namespace ql::service::html_scan
