#include "service/html_tokenizer.h"

#include <string>

#include "service/page_text.h"

namespace ql::service {

namespace {

// How many calls to Expired() go by between two looks at the clock.
constexpr unsigned kClockEvery = 256;

constexpr std::size_t npos = std::string_view::npos;

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

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

// "]", white space, then ">" (twice = 0) or "]", white space, ">".
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
std::size_t FindSectionClose(std::string_view s, std::size_t p, std::size_t* end) {
    return FindBracketClose(s, p, end, true);
}
std::size_t FindOfficeSectionClose(std::string_view s, std::size_t p, std::size_t* end) {
    return FindBracketClose(s, p, end, false);
}

struct AttributeMatch {
    std::size_t nameBegin, nameEnd;
    bool hasValue;
    std::size_t valueBegin, valueEnd;  // without the quotes
    std::size_t end;
};

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

class Tokenizer {
public:
    Tokenizer(std::string_view page, HtmlHandler& handler, ReadBudget& budget)
        : s_(page),
          handler_(handler),
          budget_(budget),
          gt_(page, FindGt),
          comment_(page, FindCommentClose),
          section_(page, FindSectionClose),
          officeSection_(page, FindOfficeSectionClose) {
        lastQuote_[0] = page.rfind('\'');
        lastQuote_[1] = page.rfind('"');
        lastGt_ = page.rfind('>');
    }

    void Run() {
        std::size_t i = 0;
        const std::size_t n = s_.size();
        while (i < n) {
            if (budget_.Expired()) return;
            if (!rawElement_.empty()) {
                i = RawText(i);
                continue;
            }
            const std::size_t lt = s_.find('<', i);
            budget_.work += (lt == npos ? n : lt) - i;
            if (lt == npos) {
                handler_.Text(s_.substr(i), false);
                return;
            }
            if (lt > i) handler_.Text(s_.substr(i, lt - i), false);
            i = lt;
            // Every piece of markup ends at a ">": with none left, the rest is text.
            if (lastGt_ == npos || lastGt_ < i) {
                handler_.Text(s_.substr(i), false);
                return;
            }
            std::size_t k;
            if (i + 1 < n && IsAsciiLetter(s_[i + 1])) {
                k = StartTag(i);
            } else if (s_.compare(i, 2, "</") == 0) {
                k = EndTag(i);
            } else if (s_.compare(i, 4, "<!--") == 0) {
                std::size_t end = 0;
                k = comment_.From(i + 4, &end, budget_) == npos ? npos : end;
            } else if (s_.compare(i, 2, "<?") == 0) {
                std::size_t end = 0;
                k = gt_.From(i + 2, &end, budget_) == npos ? npos : end;
            } else if (s_.compare(i, 2, "<!") == 0) {
                k = Declaration(i);
            } else if (i + 1 < n) {
                handler_.Text(s_.substr(i, 1), false);
                k = i + 1;
            } else {
                handler_.Text(s_.substr(i), false);
                return;
            }
            if (k == npos) {
                // Markup that never closes is text up to the next ">" (or "<").
                std::size_t end = 0;
                k = gt_.From(i + 1, &end, budget_);
                if (k == npos) {
                    k = s_.find('<', i + 1);
                    if (k == npos) k = i + 1;
                } else {
                    k += 1;
                }
                handler_.Text(s_.substr(i, k - i), false);
            }
            i = k;
        }
    }

private:
    // The text of <script> or <style> up to "</", blanks, its name, blanks, ">"; when that
    // never comes, the rest of the page is dropped.
    std::size_t RawText(std::size_t i) {
        for (std::size_t at = s_.find("</", i); at != npos; at = s_.find("</", at + 2)) {
            std::size_t p = SkipSpace(s_, at + 2);
            bool same = s_.size() - p >= rawElement_.size();
            for (std::size_t k = 0; same && k < rawElement_.size(); ++k)
                same = Lower(s_[p + k]) == rawElement_[k];
            if (!same) continue;
            p = SkipSpace(s_, p + rawElement_.size());
            if (p < s_.size() && s_[p] == '>') {
                budget_.work += p + 1 - i;
                if (at > i) handler_.Text(s_.substr(i, at - i), true);
                const std::string name = rawElement_;
                rawElement_.clear();
                handler_.EndTag(name);
                return p + 1;
            }
        }
        budget_.work += s_.size() - i;
        rawElement_.clear();
        return s_.size();
    }

    std::size_t StartTag(std::size_t i) {
        const std::size_t nameEnd = TagNameEnd(s_, i + 1);
        // Blanks and "/" after the name, then the attributes, then blanks.
        std::size_t p = nameEnd;
        std::size_t len = 1;
        while (p < s_.size() && (s_[p] == '/' || SpaceAt(s_, p, &len)))
            p += s_[p] == '/' ? 1 : len;
        AttributeMatch m{};
        while (MatchAttribute(s_, p, s_.size(), lastQuote_, &m))
            p = m.end;
        p = SkipSpace(s_, p);
        budget_.work += p - i;
        if (p >= s_.size()) return npos;
        const char next = s_[p];
        std::size_t end;
        bool selfClosing = false;
        if (next == '>') {
            end = p + 1;
        } else if (next == '/') {
            if (s_.compare(p, 2, "/>") != 0) return npos;
            end = p + 2;
            selfClosing = true;
        } else if (IsAsciiLetter(next) || next == '=') {
            return npos;
        } else {
            // A tag cut short by what cannot follow it: text.
            handler_.Text(s_.substr(i, p - i), true);
            return p;
        }
        // The attributes again from the name's separators: what follows the last one must be
        // ">" or "/>" (blanks aside); anything else makes the tag text.
        const std::size_t attributesBegin = SkipSeparators(s_, nameEnd, end);
        const std::size_t last[2] = {QuoteBefore('\'', attributesBegin, end), QuoteBefore('"', attributesBegin, end)};
        std::size_t k = attributesBegin;
        while (MatchAttribute(s_, k, end, last, &m))
            k = m.end;
        const std::string_view rest = TrimUnicodeSpace(s_.substr(k, end - k));
        if (rest != ">" && rest != "/>") {
            handler_.Text(s_.substr(i, end - i), true);
            return end;
        }
        selfClosing = rest == "/>";
        std::string name(s_.substr(i + 1, nameEnd - i - 1));
        for (char& c : name)
            c = Lower(c);
        handler_.StartTag(name, AttributeList(s_, attributesBegin, end), selfClosing);
        if (!selfClosing && (name == "script" || name == "style")) rawElement_ = name;
        return end;
    }

    std::size_t EndTag(std::size_t i) {
        std::size_t gtEnd = 0;
        const std::size_t gt = gt_.From(i + 1, &gtEnd, budget_);
        if (gt == npos) return npos;
        budget_.work += gt - i;
        // "</", blanks, a name of letters, digits and "-.:_", blanks, ">".
        std::size_t p = SkipSpace(s_, i + 2);
        if (p < gt && IsAsciiLetter(s_[p])) {
            std::size_t e = p + 1;
            while (e < gt && (IsAsciiLetter(s_[e]) || (s_[e] >= '0' && s_[e] <= '9') || s_[e] == '-' || s_[e] == '.' ||
                              s_[e] == ':' || s_[e] == '_')) {
                ++e;
            }
            if (SkipSpace(s_, e) == gt) {
                std::string name(s_.substr(p, e - p));
                for (char& c : name)
                    c = Lower(c);
                handler_.EndTag(name);
                return gt + 1;
            }
        }
        if (i + 2 < s_.size() && IsAsciiLetter(s_[i + 2])) {
            std::string name(s_.substr(i + 2, TagNameEnd(s_, i + 2) - i - 2));
            for (char& c : name)
                c = Lower(c);
            handler_.EndTag(name);
            return gt + 1;
        }
        return gt + 1;  // "</>" or a bogus comment up to ">"
    }

    std::size_t Declaration(std::size_t i) {
        std::size_t end = 0;
        if (s_.compare(i, 3, "<![") == 0) {
            // A marked section: a keyword, then its own closing. An unknown keyword or none
            // makes it a bogus comment up to ">", costing only itself.
            std::size_t p = i + 3;
            std::size_t e = p;
            while (e < s_.size() &&
                   (IsAsciiLetter(s_[e]) ||
                    (e > p && ((s_[e] >= '0' && s_[e] <= '9') || s_[e] == '-' || s_[e] == '_' || s_[e] == '.')))) {
                ++e;
            }
            std::string keyword(s_.substr(p, e - p));
            for (char& c : keyword)
                c = Lower(c);
            if (e > p && SkipSpace(s_, e) >= s_.size()) return npos;
            if (keyword == "temp" || keyword == "cdata" || keyword == "ignore" || keyword == "include" ||
                keyword == "rcdata") {
                return section_.From(i + 3, &end, budget_) == npos ? npos : end;
            }
            if (keyword == "if" || keyword == "else" || keyword == "endif") {
                return officeSection_.From(i + 3, &end, budget_) == npos ? npos : end;
            }
            return gt_.From(i + 2, &end, budget_) == npos ? npos : end;
        }
        return gt_.From(i + 2, &end, budget_) == npos ? npos : end;
    }

    std::size_t QuoteBefore(char quote, std::size_t begin, std::size_t end) const {
        const std::size_t at = s_.substr(begin, end - begin).rfind(quote);
        return at == npos ? npos : begin + at;
    }

    std::string_view s_;
    HtmlHandler& handler_;
    ReadBudget& budget_;
    Remembered gt_, comment_, section_, officeSection_;
    std::size_t lastQuote_[2];
    std::size_t lastGt_;
    std::string rawElement_;
};

}  // namespace

bool ReadBudget::Expired() {
    if (expired || done) return true;
    if (++calls_ % kClockEvery == 0 && Clock::now() >= deadline) expired = true;
    return expired;
}

void AttributeList::ForEach(
    const std::function<void(std::string_view name, std::string_view value, bool hasValue)>& f) const {
    const std::string_view tag = page_.substr(begin_, end_ - begin_);
    const std::size_t single = tag.rfind('\''), dbl = tag.rfind('"');
    const std::size_t last[2] = {single == npos ? npos : begin_ + single, dbl == npos ? npos : begin_ + dbl};
    std::string name;
    AttributeMatch m{};
    for (std::size_t p = begin_; MatchAttribute(page_, p, end_, last, &m); p = m.end) {
        name.assign(page_.substr(m.nameBegin, m.nameEnd - m.nameBegin));
        for (char& c : name)
            c = Lower(c);
        f(name, m.hasValue ? page_.substr(m.valueBegin, m.valueEnd - m.valueBegin) : std::string_view(), m.hasValue);
    }
}

void TokenizeHtml(std::string_view page, HtmlHandler& handler, ReadBudget& budget) {
    Tokenizer(page, handler, budget).Run();
}

}  // namespace ql::service
