// Media addresses in a page's JSON-LD blocks (schema.org metadata).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ql::service {

// Blocks nested deeper than this, or larger than this, are not read.
constexpr std::size_t kMaxJsonDepth = 256;
constexpr std::size_t kMaxJsonBytes = std::size_t{8} << 20;

// The contentUrl values (one string or an array of strings) of every VideoObject and
// AudioObject in one JSON-LD block, nested ones, those in arrays and in @graph included, in
// the block's order. A block that is no valid JSON (raw control characters in strings are
// allowed), too deep or too large gives nothing, and costs only itself.
std::vector<std::string> JsonLdMedia(std::string_view block);

}  // namespace ql::service
