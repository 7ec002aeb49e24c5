// The markup of an HTML page read the way the web's tolerant parsers read real pages: start
// and end tags with their attributes, comments, <!…> and <?…> sections skipped, the text of
// <script> and <style> taken raw up to their end tag; what does not form markup is text.
// Reading takes time linear in the page's size on every input and keeps no copy of it.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

#include "service/page_fetch.h"

namespace ql::service {

// The time a reading may take, and the work it did (characters examined, roughly).
struct ReadBudget {
    Clock::time_point deadline = Clock::time_point::max();
    std::size_t work = 0;
    bool expired = false;
    // Set by a reader that has all it needs: the reading ends early.
    bool done = false;
    // Whether the deadline has passed (checked now and then, not on every call).
    bool Expired();

private:
    unsigned calls_ = 0;
};

// The attributes of one start tag, read from its text anew on every ForEach: a tag with
// millions of attributes costs no memory beyond its own text.
class AttributeList {
public:
    AttributeList(std::string_view page, std::size_t begin, std::size_t end) : page_(page), begin_(begin), end_(end) {}
    // Each attribute in order: its name in lower case, its value as written (without its
    // quotes, references not decoded), and whether it has a value at all.
    void ForEach(const std::function<void(std::string_view name, std::string_view value, bool hasValue)>& f) const;
    // Whether the tag has no attribute text at all.
    bool empty() const { return page_.substr(begin_, end_ - begin_).find_first_not_of("/>") == std::string_view::npos; }

private:
    std::string_view page_;
    std::size_t begin_, end_;
};

class HtmlHandler {
public:
    virtual ~HtmlHandler() = default;
    // `name` in lower case; `selfClosing` for a tag that ends in "/>".
    virtual void StartTag(std::string_view name, const AttributeList& attributes, bool selfClosing) = 0;
    virtual void EndTag(std::string_view name) = 0;
    // Text between markup; `raw` for the text of <script> and <style> (references stay as
    // written there, and elsewhere are still to be decoded).
    virtual void Text(std::string_view text, bool raw) = 0;
};

// Reads `page` (UTF-8) to its end or until the budget's deadline passes.
void TokenizeHtml(std::string_view page, HtmlHandler& handler, ReadBudget& budget);

}  // namespace ql::service
