// The media addresses behind a typed page address: what the parse service lists.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "service/page_fetch.h"

namespace ql::service {

// Rows of one reply; a page listing more is no video page.
constexpr std::size_t kMaxAddresses = 1000;
// Same-site iframes followed from one page (each is a fetch of its own).
constexpr std::size_t kMaxFrames = 4;
// The reading of a page that arrived just before its fetch's deadline still gets this long.
constexpr std::chrono::seconds kMinReadTime{2};

// The media addresses for `typed` (the bytes the program sent: UTF-8, or GBK as typed), each
// plain ASCII, each once, in document order, at most kMaxAddresses. Empty when nothing is
// found or the address cannot be fetched or is refused; `why`, when given, then says why.
std::vector<std::string> MediaAddresses(std::string_view typed, PageFetcher& fetcher, std::string* why = nullptr);

// The media addresses of a fetched page (not media itself), read until `readDeadline`: what
// was found by then is kept. Same-site iframes are followed through `fetcher` while `depth`
// is 0 and until `framesUntil`.
std::vector<std::string> PageMediaAddresses(const FetchedPage& page, PageFetcher& fetcher, int depth,
                                            Clock::time_point framesUntil, Clock::time_point readDeadline,
                                            std::size_t* work = nullptr);

}  // namespace ql::service
