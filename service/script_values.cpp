#include "service/script_values.h"
#include "service/ascii.h"

#include <array>
#include <string>

namespace ql::service {

namespace {

// The last words of keys whose string value players and pages take as an address.
constexpr std::array<std::string_view, 8> kAddressWords{"file", "src",    "url", "source",
                                                        "href", "stream", "hls", "dash"};
// How far before a string its key is looked for (the blanks, then the name): a bound that keeps
// the look constant per string.
constexpr std::size_t kMaxKeyReach = 64;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsNameChar(char c) { return IsAlpha(c) || IsDigit(c) || c == '_' || c == '$'; }
bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsLowerOrDigit(char c) { return (c >= 'a' && c <= 'z') || IsDigit(c); }

// Where the blanks that end at `p` begin, looking at most kMaxKeyReach back.
std::size_t BlanksBefore(std::string_view text, std::size_t p) {
    const std::size_t stop = p > kMaxKeyReach ? p - kMaxKeyReach : 0;
    while (p > stop && IsBlank(text[p - 1]))
        --p;
    return p;
}

// The last word of a key in lower case: after its last "_", "-", "." or "$", or from its last
// capital that starts a word ("videoUrl", "HLSUrl" and "videoURL" end in "url").
std::string LastWord(std::string_view name) {
    std::size_t start = name.size();
    while (start > 0) {
        const char c = name[start - 1];
        if (c == '_' || c == '-' || c == '.' || c == '$') break;
        --start;
        if (start == 0 || !IsUpper(c)) continue;
        const char before = name[start - 1];
        const bool lowerAfter = start + 1 < name.size() && !IsUpper(name[start + 1]);
        if (IsLowerOrDigit(before) || (IsUpper(before) && lowerAfter)) break;
    }
    std::string word(name.substr(start));
    for (char& c : word)
        c = Lower(c);
    return word;
}

}  // namespace

bool IsAddressValue(std::string_view text, std::size_t quote) {
    std::size_t p = BlanksBefore(text, quote);
    if (p == 0) return false;
    // `key:`, `key =` (not a comparison) or a call `key(`.
    const char mark = text[p - 1];
    if (mark == '=') {
        if (p >= 2 && std::string_view("=!<>").find(text[p - 2]) != std::string_view::npos) return false;
    } else if (mark != ':' && mark != '(') {
        return false;
    }
    p = BlanksBefore(text, p - 1);
    const std::size_t stop = p > kMaxKeyReach ? p - kMaxKeyReach : 0;
    std::size_t begin = p;
    std::size_t end = p;
    const char last = p > 0 ? text[p - 1] : '\0';
    if (mark != '(' && (last == '"' || last == '\'' || last == '`')) {
        end = begin = p - 1;
        while (begin > stop && text[begin - 1] != last)
            --begin;
        if (begin == 0 || text[begin - 1] != last) return false;
    } else {
        while (begin > stop && IsNameChar(text[begin - 1]))
            --begin;
    }
    return begin < end && OneOf(LastWord(text.substr(begin, end - begin)), kAddressWords);
}

}  // namespace ql::service
