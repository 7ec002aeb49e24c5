// The pieces the HTML tokenizer scans a page with: white space, the places where markup
// closes (found once and remembered), and attributes matched as the web's tolerant parsers
// match them.
#pragma once

#include <cstddef>
#include <string_view>

#include "service/reading/html_tokenizer.h"

namespace ql::service::html_scan {

constexpr std::size_t npos = std::string_view::npos;

inline bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Whether s[i] starts a white-space character, and its length in bytes.
bool SpaceAt(std::string_view s, std::size_t i, std::size_t* length);
std::size_t SkipSpace(std::string_view s, std::size_t i);

// Where the next ">" is from p (npos for none), *end after it.
std::size_t FindGt(std::string_view s, std::size_t p, std::size_t* end);
// "--", white space, ">".
std::size_t FindCommentClose(std::string_view s, std::size_t p, std::size_t* end);
// "]", white space, "]", white space, ">": the end of a marked section.
std::size_t FindSectionClose(std::string_view s, std::size_t p, std::size_t* end);
// "]", white space, ">": the end of a conditional section.
std::size_t FindOfficeSectionClose(std::string_view s, std::size_t p, std::size_t* end);

// The next place of something in the page from a position on, remembered: asked again from
// a later position before that place, it answers at once, so a page full of unclosed
// "<!--" is searched once, not once per "<!--".
class Remembered {
public:
    Remembered(std::string_view page, std::size_t (*find)(std::string_view, std::size_t, std::size_t*))
        : page_(page), find_(find) {}
    // Where the next match starts, or npos; *end gets where it ends.
    std::size_t From(std::size_t p, std::size_t* end, ReadBudget& budget) {
        if (known_ && p >= from_ && (at_ == npos || p <= at_)) {
            *end = end_;
            return at_;
        }
        known_ = true;
        from_ = p;
        at_ = find_(page_, p, &end_);
        budget.work += (at_ == npos ? page_.size() : end_) - p;
        *end = end_;
        return at_;
    }

private:
    std::string_view page_;
    std::size_t (*find_)(std::string_view, std::size_t, std::size_t*);
    bool known_ = false;
    std::size_t from_ = 0, at_ = npos, end_ = npos;
};

struct AttributeMatch {
    std::size_t nameBegin, nameEnd;
    bool hasValue;
    std::size_t valueBegin, valueEnd;  // without the quotes
    std::size_t end;
};

// One attribute at s[k] (name, then optionally "=" and a value, then blanks and lone "/"),
// as the tolerant parsers match it, backtracking included: a value whose quote never closes
// is read as an empty value or as a bare value that starts at the last "=", or not at all.
// `lastQuote` holds the last place of ' and of " before `limit`.
bool MatchAttribute(std::string_view s, std::size_t k, std::size_t limit, const std::size_t lastQuote[2],
                    AttributeMatch* m);
// The end of a tag name that starts at s[i].
std::size_t TagNameEnd(std::string_view s, std::size_t i);
// Blanks and lone "/" (not the one of "/>").
std::size_t SkipSeparators(std::string_view s, std::size_t p, std::size_t limit);

}  // namespace ql::service::html_scan
