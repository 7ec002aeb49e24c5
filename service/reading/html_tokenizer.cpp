#include "service/reading/html_tokenizer.h"

#include <string>

#include "service/reading/html_scan.h"
#include "service/reading/page_text.h"

namespace ql::service {

namespace {

using namespace html_scan;

// How many calls to Expired() go by between two looks at the clock.
constexpr unsigned kClockEvery = 256;

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
