// The media addresses behind a typed page address: what the parse service lists.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "service/page_fetch.h"

namespace ql::service {

// Rows of one reply; a page listing more is no video page.
constexpr std::size_t kMaxAddresses = 1000;

// The media addresses for `typed` (the bytes the program sent: UTF-8, or GBK as typed), each
// plain ASCII, each once, in document order, at most kMaxAddresses. Empty when nothing is
// found or the address cannot be fetched or is refused; `why`, when given, then says why.
std::vector<std::string> MediaAddresses(std::string_view typed, PageFetcher& fetcher, std::string* why = nullptr);

}  // namespace ql::service
