#include "service/reading/script_values.h"
#include "service/reading/ascii.h"

#include <algorithm>
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
// Brackets open deeper than this are counted, not kept: a text of millions of "[" costs no memory.
constexpr std::size_t kMaxDepth = 64;

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

// A bare "a/b.mp4" is as likely a storage key or a file name as an address; these forms say by
// themselves that they are addresses.
bool IsExplicitAddress(std::string_view ref) {
    if (ref.substr(0, 1) == "/" || ref.substr(0, 2) == "./" || ref.substr(0, 3) == "../") return true;
    std::size_t i = 0;
    while (i < ref.size() &&
           (IsAlpha(ref[i]) || (i > 0 && (IsDigit(ref[i]) || ref[i] == '+' || ref[i] == '.' || ref[i] == '-')))) {
        ++i;
    }
    return i > 0 && i < ref.size() && ref[i] == ':';
}

PlayerMedia::PlayerMedia(std::string_view text) : text_(text) {
    // Nothing is handed to a player without one of these words: a text without them is not read.
    const auto holds = [&](std::string_view word) { return text.find(word) != std::string_view::npos; };
    if (!holds("setup") && !holds("sources") && !holds("playlist")) i_ = text.size();
}

std::optional<PlayerMedia::Found> PlayerMedia::Next() {
    const std::size_t n = text_.size();
    while (i_ < n) {
        const char c = text_[i_];
        if (IsBlank(c)) {
            ++i_;
            continue;
        }
        if (c == '/' && i_ + 1 < n && (text_[i_ + 1] == '/' || text_[i_ + 1] == '*')) {
            const bool line = text_[i_ + 1] == '/';
            const std::size_t close = text_.find(line ? "\n" : "*/", i_ + 2);
            i_ = close == std::string_view::npos ? n : close + (line ? 1 : 2);
            continue;
        }
        const std::string_view name = name_, key = key_;
        const bool setup = setup_, item = item_;
        name_ = key_ = std::string_view();
        setup_ = item_ = false;
        if (c == '"' || c == '\'' || c == '`') {
            const std::size_t begin = i_ + 1, end = StringEnd(begin, c);
            i_ = std::min(end + 1, n);
            if (end == n || text_[end] != c) continue;  // a string that never closes
            name_ = text_.substr(begin, end - begin);
            if (HandedToPlayer(key, item, i_)) return Found{begin, name_, key.empty()};
        } else if (IsNameChar(c)) {
            const std::size_t begin = i_;
            while (i_ < n && IsNameChar(text_[i_]))
                ++i_;
            name_ = text_.substr(begin, i_ - begin);
            setup_ = name_ == "setup";
        } else {
            ++i_;
            if (c == ':') {
                key_ = name;
            } else if (c == ',') {
                item_ = true;
            } else if (c == '(') {
                Push(c, setup ? Role::kSetup : Role::kNone);
            } else if (c == '[') {
                Push(c, key == "sources" ? Role::kSources : key == "playlist" ? Role::kPlaylist : Role::kNone);
                item_ = true;
            } else if (c == '{') {
                Push(c, Role::kNone);
            } else if (c == '}' || c == ']' || c == ')') {
                Pop();
            }
        }
    }
    return std::nullopt;
}

bool PlayerMedia::HandedToPlayer(std::string_view key, bool item, std::size_t after) const {
    if (deeper_ > 0 || open_.empty()) return false;
    std::size_t next = after;
    while (next < text_.size() && IsBlank(text_[next]))
        ++next;
    if (next < text_.size() && std::string_view(",}])").find(text_[next]) == std::string_view::npos) return false;
    const Bracket& top = open_.back();
    if (top.open == '[') return item && key.empty() && top.role == Role::kSources;
    if (top.open != '{' || open_.size() < 2) return false;
    const Role holder = open_[open_.size() - 2].role;
    if (key == "file") return holder != Role::kNone;
    return key == "src" && holder == Role::kSources;
}

// Where a string that starts at text_[begin] ends: its closing quote, or the line's end for a
// quote other than "`", or the text's end.
std::size_t PlayerMedia::StringEnd(std::size_t j, char quote) const {
    while (j < text_.size() && text_[j] != quote && (quote == '`' || text_[j] != '\n'))
        j += text_[j] == '\\' ? 2 : 1;
    return std::min(j, text_.size());
}

void PlayerMedia::Push(char open, Role role) {
    if (open_.size() < kMaxDepth) {
        open_.push_back({open, role});
    } else {
        ++deeper_;
    }
}

void PlayerMedia::Pop() {
    if (deeper_ > 0) {
        --deeper_;
    } else if (!open_.empty()) {
        open_.pop_back();
    }
}

}  // namespace ql::service
