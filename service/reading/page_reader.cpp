#include "service/reading/page_reader.h"
#include "service/reading/ascii.h"

#include <array>
#include <string>

#include "service/reading/html_entities.h"
#include "service/reading/json_ld.h"
#include "service/reading/media_text.h"
#include "service/reading/page_address.h"
#include "service/reading/page_text.h"

namespace ql::service {

namespace {

// Attributes whose whole value may be a (relative) address: links, in which a blank may stand
// for %20, and the values players and meta tags carry, in which a blank ends it.
constexpr std::array<std::string_view, 3> kLinkAttributes{"href", "src", "data"};
constexpr std::array<std::string_view, 4> kValueAttributes{"content", "value", "file", "url"};
constexpr std::array<std::string_view, 6> kOpenGraphMedia{"og:video", "og:video:url", "og:video:secure_url",
                                                          "og:audio", "og:audio:url", "og:audio:secure_url"};

// Elements whose own address and whose <source> addresses are media, whatever they look like.
bool IsMediaElement(std::string_view tag) {
    return tag == "video" || tag == "audio" || tag == "amp-video" || tag == "amp-audio";
}

std::string Decoded(std::string_view value) {
    return value.find('&') == std::string_view::npos ? std::string(value) : DecodeHtmlReferences(value);
}

std::string AsciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return out;
}

// Whether a white-space separated list holds `word`.
bool ListHolds(std::string_view list, std::string_view word) {
    std::size_t i = 0;
    while (i < list.size()) {
        std::size_t length = 1;
        while (i < list.size() && IsUnicodeSpace(CodePointAt(list, i, &length)))
            i += length;
        std::size_t end = i;
        while (end < list.size() && !IsUnicodeSpace(CodePointAt(list, end, &length)))
            end += length;
        if (end > i && list.substr(i, end - i) == word) return true;
        i = end;
    }
    return false;
}

// The first value of each attribute the tag's own rules need.
struct TagValues {
    std::optional<std::string> href, src, property, name, content, rel, type;

    void Take(std::string_view attribute, std::string_view value) {
        std::optional<std::string>* slot = attribute == "href"       ? &href
                                           : attribute == "src"      ? &src
                                           : attribute == "property" ? &property
                                           : attribute == "name"     ? &name
                                           : attribute == "content"  ? &content
                                           : attribute == "rel"      ? &rel
                                           : attribute == "type"     ? &type
                                                                     : nullptr;
        if (slot && !*slot) *slot = Decoded(value);
    }
};

class BaseFinder : public HtmlHandler {
public:
    explicit BaseFinder(ReadBudget& budget) : budget_(budget) {}
    void StartTag(std::string_view name, const AttributeList& attributes, bool) override {
        if (name != "base") return;
        std::optional<std::string> href;
        attributes.ForEach([&](std::string_view attribute, std::string_view value, bool) {
            if (attribute == "href" && !href) href = Decoded(value);
        });
        if (href && !href->empty()) {
            base = std::move(href);
            budget_.done = true;
        }
    }
    void EndTag(std::string_view) override {}
    void Text(std::string_view, bool) override {}

    std::optional<std::string> base;

private:
    ReadBudget& budget_;
};

class MediaFinder : public HtmlHandler {
public:
    MediaFinder(ItemSink& sink, ReadBudget& budget) : sink_(sink), budget_(budget) {}

    void StartTag(std::string_view tag, const AttributeList& attributes, bool selfClosing) override {
        if (attributes.empty() && !IsMediaElement(tag) && tag != "script") return;
        TagValues a;
        attributes.ForEach([&](std::string_view name, std::string_view value, bool) { a.Take(name, value); });
        if (IsMediaElement(tag)) {
            ++mediaDepth_;
            Add(a.src);
        } else if (tag == "source" && mediaDepth_ > 0) {
            Add(a.src);
        } else if (tag == "meta") {
            const std::string& property = a.property && !a.property->empty() ? *a.property : a.name ? *a.name : none_;
            Meta(AsciiLower(TrimUnicodeSpace(property)), a.content ? *a.content : none_);
        } else if (tag == "link" && a.rel && ListHolds(AsciiLower(*a.rel), "video_src")) {
            Add(a.href);
        } else if (tag == "iframe") {
            if (a.src && !TrimUnicodeSpace(*a.src).empty()) sink_.AddFrame(TrimUnicodeSpace(*a.src));
        } else if (tag == "script") {
            inScript_ = true;
            scriptType_ = AsciiLower(TrimUnicodeSpace(a.type ? *a.type : none_));
            ClearScript();
        }
        attributes.ForEach([&](std::string_view name, std::string_view raw, bool) {
            if (raw.empty()) return;
            const std::string decoded = Decoded(raw);
            const std::string_view value = TrimUnicodeSpace(decoded);
            if (value.empty()) return;
            // A value that holds an address among other fields is no address itself.
            const bool whole =
                OneOf(name, kLinkAttributes) || ((OneOf(name, kValueAttributes) || name.substr(0, 5) == "data-") &&
                                                 !HasUnicodeSpace(value) && !HoldsAddressWithin(value));
            if (whole && HasMediaExtension(value)) {
                sink_.AddMedia(value);
                return;
            }
            const auto absolute = [&](std::string_view ref) {
                if (ref.substr(0, 5) == "http:" || ref.substr(0, 6) == "https:" || ref.substr(0, 2) == "//") {
                    sink_.AddMedia(ref);
                }
            };
            ForEachMediaInText(value, absolute, &budget_.work);
        });
        if (selfClosing && IsMediaElement(tag)) EndTag(tag);
        if (sink_.Full()) budget_.done = true;
    }

    void EndTag(std::string_view tag) override {
        if (IsMediaElement(tag) && mediaDepth_ > 0) {
            --mediaDepth_;
        } else if (tag == "script" && inScript_) {
            inScript_ = false;
            if (scriptType_ == "application/ld+json") {
                for (const std::string& ref : JsonLdMedia(Script()))
                    Add(std::string_view(ref));
            }
            ForEachMediaInText(
                Script(), [&](std::string_view ref) { Add(ref); }, &budget_.work);
            ClearScript();
            if (sink_.Full()) budget_.done = true;
        }
    }

    void Text(std::string_view text, bool raw) override {
        if (!inScript_) return;
        // A script's text comes as one raw piece, read where it stands in the page; only
        // text in pieces (after a "<script/>") is gathered into a copy.
        if (raw && pieces_ == 0) {
            scriptPiece_ = text;
        } else {
            if (pieces_ == 1) scriptCopy_.assign(scriptPiece_);
            scriptCopy_.append(raw ? std::string(text) : Decoded(text));
        }
        ++pieces_;
    }

private:
    void Add(const std::optional<std::string>& ref) {
        if (ref) Add(std::string_view(*ref));
    }
    void Add(std::string_view ref) {
        const std::string_view trimmed = TrimUnicodeSpace(ref);
        if (!trimmed.empty()) sink_.AddMedia(trimmed);
    }

    void Meta(const std::string& property, const std::string& content) {
        if (OneOf(property, kOpenGraphMedia)) {
            if (property == "og:video" || property == "og:audio") sink_.CloseGroup();
            const std::string_view ref = TrimUnicodeSpace(content);
            // A player page announced as the video is no media.
            if (!ref.empty() && !HasPagePath(ref)) sink_.AddGroupMedia(ref);
        } else if (property == "og:video:type" || property == "og:audio:type") {
            if (!IsMediaType(AsciiLower(TrimUnicodeSpace(content)))) sink_.DropGroup();
        } else if (property == "twitter:player:stream") {
            Add(std::string_view(content));
        }
    }

    ItemSink& sink_;
    ReadBudget& budget_;
    int mediaDepth_ = 0;
    bool inScript_ = false;
    std::string_view Script() const { return pieces_ == 1 && scriptCopy_.empty() ? scriptPiece_ : scriptCopy_; }
    void ClearScript() {
        pieces_ = 0;
        scriptPiece_ = std::string_view();
        scriptCopy_.clear();
        scriptCopy_.shrink_to_fit();
    }

    std::string scriptType_;
    std::size_t pieces_ = 0;
    std::string_view scriptPiece_;
    std::string scriptCopy_;
    const std::string none_;
};

}  // namespace

std::optional<std::string> BaseHref(std::string_view page, ReadBudget& budget) {
    BaseFinder finder(budget);
    TokenizeHtml(page, finder, budget);
    budget.done = false;
    return finder.base;
}

void ReadHtmlMedia(std::string_view page, ItemSink& sink, ReadBudget& budget) {
    MediaFinder finder(sink, budget);
    TokenizeHtml(page, finder, budget);
}

void ReadTextMedia(std::string_view text, ItemSink& sink, ReadBudget& budget) {
    ForEachMediaInText(
        text, [&](std::string_view ref) { sink.AddMedia(ref); }, &budget.work);
}

}  // namespace ql::service
