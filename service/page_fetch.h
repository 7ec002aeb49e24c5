// What reading a page needs from the network: one GET under the service's limits. The page
// reading is portable and takes the network as this interface; the program's own fetcher
// (on the system's HTTP stack) and the tests' fetchers implement it.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

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

}  // namespace ql::service
