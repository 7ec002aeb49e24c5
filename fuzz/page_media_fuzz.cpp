// The page reading on any page: every row it lists is an http or https address in plain
// ASCII with nothing that could end the reply's field (no blank, double quote or angle bracket), each
// once, at most kMaxAddresses; a same-site iframe (served the same bytes) is read one level
// deep; no reading crashes or runs past its deadline's checks.
#include <set>

#include "fuzz/fuzz_input.h"
#include "service/reading/page_address.h"
#include "service/reading/page_media.h"

namespace {

using namespace ql::service;

// Serves the fuzzed page for every address asked (iframes included), counting the asks.
class SamePage : public PageFetcher {
public:
    explicit SamePage(FetchedPage page) : page_(std::move(page)) {}
    std::optional<FetchedPage> Fetch(const std::string& url, Clock::time_point, std::string*) override {
        ++asked;
        FetchedPage page = page_;
        page.url = url;
        return page;
    }
    int asked = 0;

private:
    FetchedPage page_;
};

bool IsRow(std::string_view row) {
    if (!ql::fuzz::StartsWith(row, "http://") && !ql::fuzz::StartsWith(row, "https://")) return false;
    for (char c : row) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F || c == '"' || c == '<' || c == '>') return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ql::fuzz::Input in(data, size);
    static const char* const kTypes[] = {"text/html",  "",          "application/json",
                                         "text/plain", "image/png", "application/xhtml+xml"};
    const char* type = kTypes[in.Byte() % 6];
    const std::string charset(in.Field());
    const std::string base(in.Field());
    const std::string body(in.Rest());
    SamePage site(FetchedPage{"http://www.example.test/a/page.html", type, charset, body});
    const Clock::time_point now = Clock::now();
    const std::vector<std::string> rows =
        PageMediaAddresses(FetchedPage{"http://www.example.test/a/page.html", type, charset, body}, site, 0,
                           now + kFetchTime, now + kFetchTime);
    QL_FUZZ_CHECK(rows.size() <= kMaxAddresses);
    QL_FUZZ_CHECK(site.asked <= static_cast<int>(kMaxFrames));
    std::set<std::string> seen;
    for (const std::string& row : rows) {
        QL_FUZZ_CHECK(IsRow(row));
        QL_FUZZ_CHECK(seen.insert(row).second);
    }
    // Any reference against any base is a row or nothing.
    const std::optional<std::string> row = AbsoluteAddress(body.substr(0, 4096), "http://" + base + "/x/");
    QL_FUZZ_CHECK(!row || IsRow(*row));
    return 0;
}
