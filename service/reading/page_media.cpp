#include "service/reading/page_media.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "service/reading/page_address.h"
#include "service/reading/page_reader.h"
#include "service/reading/page_text.h"

namespace ql::service {

namespace {

// The references of one page resolved against its base, each kept once, up to what can still
// be among the first kMaxAddresses of the answer. An OpenGraph structure's references stay
// pending until the structure ends, since a later type line may drop them all.
class PageItems : public ItemSink {
public:
    enum class Kind { kMedia, kFrame };
    struct Entry {
        std::string address;
        Kind kind;
        bool dropped = false;
    };

    PageItems(std::string base, PageCharset charset, std::string pageUrl, bool followFrames)
        : base_(std::move(base)), charset_(charset), pageUrl_(std::move(pageUrl)), followFrames_(followFrames) {}

    void AddMedia(std::string_view ref) override {
        if (Full()) return;
        std::optional<std::string> address = Resolved(ref);
        if (!address || final_.count(*address)) return;
        final_.insert(*address);
        entries_.push_back({std::move(*address), Kind::kMedia});
    }

    void AddFrame(std::string_view ref) override {
        if (Full() || !followFrames_ || frames_ >= kMaxFrames) return;
        std::optional<std::string> address = AbsoluteAddress(ref, base_, charset_);
        if (!address || !SameSite(*address, pageUrl_)) return;
        ++frames_;
        entries_.push_back({std::move(*address), Kind::kFrame});
    }

    void AddGroupMedia(std::string_view ref) override {
        if (Full() || group_.size() >= kMaxAddresses) return;
        std::optional<std::string> address = Resolved(ref);
        if (!address || final_.count(*address) || groupAddresses_.count(*address)) return;
        groupAddresses_.insert(*address);
        group_.push_back(entries_.size());
        entries_.push_back({std::move(*address), Kind::kMedia});
    }

    void DropGroup() override {
        for (std::size_t i : group_) {
            if (!entries_[i].dropped) ++dropped_;
            entries_[i].dropped = true;
        }
    }

    void CloseGroup() override {
        for (std::size_t i : group_) {
            if (!entries_[i].dropped) final_.insert(entries_[i].address);
        }
        group_.clear();
        groupAddresses_.clear();
        // Dropped entries go once they are half of all, so many dropped structures cost no memory.
        if (dropped_ > 64 && dropped_ * 2 > entries_.size()) {
            entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [](const Entry& e) { return e.dropped; }),
                           entries_.end());
            dropped_ = 0;
        }
    }

    bool Full() const override { return final_.size() >= kMaxAddresses; }

    const std::vector<Entry>& entries() const { return entries_; }

private:
    // Pages repeat their references; the latest ones are resolved once.
    std::optional<std::string> Resolved(std::string_view ref) {
        const auto known = resolved_.find(std::string(ref));
        if (known != resolved_.end()) return known->second;
        if (resolved_.size() >= kResolvedKept) resolved_.clear();
        std::optional<std::string> address = AbsoluteAddress(ref, base_, charset_);
        resolved_.emplace(std::string(ref), address);
        return address;
    }

    static constexpr std::size_t kResolvedKept = 256;

    std::string base_;
    PageCharset charset_;
    std::string pageUrl_;
    bool followFrames_;
    std::vector<Entry> entries_;
    std::unordered_set<std::string> final_, groupAddresses_;
    std::unordered_map<std::string, std::optional<std::string>> resolved_;
    std::vector<std::size_t> group_;
    std::size_t frames_ = 0, dropped_ = 0;
};

// Addresses in order, each once.
class OrderedAddresses {
public:
    void Add(const std::string& address) {
        if (seen_.insert(address).second) list_.push_back(address);
    }
    std::size_t size() const { return list_.size(); }
    std::vector<std::string> Take() {
        if (list_.size() > kMaxAddresses) list_.resize(kMaxAddresses);
        return std::move(list_);
    }

private:
    std::vector<std::string> list_;
    std::unordered_set<std::string> seen_;
};

bool IsHtmlType(std::string_view type) {
    return type.empty() || type.find("html") != std::string_view::npos || type.find("xml") != std::string_view::npos;
}

bool IsTextType(std::string_view type) {
    return type.substr(0, 5) == "text/" || type.find("json") != std::string_view::npos ||
           type.find("javascript") != std::string_view::npos;
}

}  // namespace

std::vector<std::string> PageMediaAddresses(const FetchedPage& page, PageFetcher& fetcher, int depth,
                                            Clock::time_point framesUntil, Clock::time_point readDeadline,
                                            std::size_t* work) {
    if (page.body.empty()) return {};
    const bool html = IsHtmlType(page.contentType);
    if (!html && !IsTextType(page.contentType)) return {};
    PageText text = DecodePage(page.body, page.charset);
    ReadBudget budget;
    budget.deadline = readDeadline;
    std::string base = page.url;
    if (html) {
        if (const std::optional<std::string> href = BaseHref(text.utf8, budget)) {
            if (std::optional<std::string> resolved = AbsoluteAddress(*href, page.url, text.charset)) {
                base = std::move(*resolved);
            }
        }
    }
    PageItems items(base, text.charset, page.url, depth == 0);
    if (html) {
        ReadHtmlMedia(text.utf8, items, budget);
    } else {
        ReadTextMedia(text.utf8, items, budget);
    }
    items.CloseGroup();
    if (work) *work += budget.work;
    text = PageText();  // the page's text is not needed while iframes are fetched

    OrderedAddresses found;
    for (const PageItems::Entry& entry : items.entries()) {
        if (found.size() >= kMaxAddresses) break;
        if (entry.dropped) continue;
        if (entry.kind == PageItems::Kind::kMedia) {
            found.Add(entry.address);
            continue;
        }
        if (Clock::now() >= framesUntil) continue;
        if (HasMediaExtension(entry.address)) {
            found.Add(entry.address);
            continue;
        }
        const Clock::time_point start = Clock::now();
        const std::optional<FetchedPage> inner = fetcher.Fetch(entry.address, start + kFetchTime, nullptr);
        if (!inner) continue;
        if (IsMediaType(inner->contentType)) {
            found.Add(entry.address);
            continue;
        }
        const Clock::time_point innerRead = std::max(start + kFetchTime, Clock::now() + kMinReadTime);
        for (const std::string& address :
             PageMediaAddresses(*inner, fetcher, depth + 1, framesUntil, innerRead, work)) {
            found.Add(address);
        }
    }
    return found.Take();
}

std::vector<std::string> MediaAddresses(std::string_view typed, PageFetcher& fetcher, std::string* why) {
    const std::optional<std::string> url = TypedAddress(typed);
    if (!url) {
        if (why) *why = "not an http or https address";
        return {};
    }
    if (HasMediaExtension(*url)) return {*url};
    // Iframes are followed only while the whole answer is within about one fetch's time.
    const Clock::time_point start = Clock::now();
    const std::optional<FetchedPage> page = fetcher.Fetch(*url, start + kFetchTime, why);
    if (!page) return {};
    if (IsMediaType(page->contentType)) return {*url};
    const Clock::time_point readDeadline = std::max(start + kFetchTime, Clock::now() + kMinReadTime);
    std::vector<std::string> found = PageMediaAddresses(*page, fetcher, 0, start + kFetchTime, readDeadline);
    if (found.empty() && why) *why = "no media addresses found on " + page->url;
    return found;
}

}  // namespace ql::service
