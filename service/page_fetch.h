// What reading a page needs from the network: one GET under the service's limits; and what
// the service may ask beside its own reading, a site extractor. The page reading is portable
// and takes the network as these interfaces; the program's own fetcher (on the system's HTTP
// stack) and extractor runner, and the tests' fetchers, implement them.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace ql::service {

using Clock = std::chrono::steady_clock;

// Redirects followed by one fetch.
constexpr int kMaxRedirects = 5;
// Bytes of body kept from one fetch, after inflating gzip or deflate.
constexpr std::size_t kMaxBody = std::size_t{8} << 20;
// One fetch, connects and redirects included, and the reading of what it brought.
constexpr std::chrono::seconds kFetchTime{15};

struct FetchedPage {
    std::string url;          // after redirects, plain ASCII
    std::string contentType;  // lower case, without parameters
    std::string charset;      // the Content-Type header's charset parameter, or empty
    std::string body;         // at most kMaxBody bytes; empty for media types
};

class PageFetcher {
public:
    virtual ~PageFetcher() = default;
    // GET of an absolute http or https address, following at most kMaxRedirects redirects,
    // all of it before `deadline`. Nothing when the address is refused (scheme, name or
    // address not allowed) or the fetch fails; `why`, when given, then says why.
    virtual std::optional<FetchedPage> Fetch(const std::string& url, Clock::time_point deadline, std::string* why) = 0;
};

// One run of a site extractor, from its start to its end or its deadline.
constexpr std::chrono::seconds kExtractTime{30};

class SiteExtractor {
public:
    virtual ~SiteExtractor() = default;
    // The media addresses a site extractor lists for the page at `url` (absolute, plain ASCII),
    // each plain ASCII, each once; empty when it claims no such page, fails, runs past
    // kExtractTime or is not run. `why`, when given, then says why.
    virtual std::vector<std::string> Extract(const std::string& url, std::string* why) = 0;
};

}  // namespace ql::service
