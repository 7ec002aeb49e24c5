// What a script makes of its strings: whether one is given as an address, as the value of a key
// such as `file` or `src`, rather than being data (a storage key, a file name).
#pragma once

#include <cstddef>
#include <string_view>

namespace ql::service {

// Whether the string whose opening quote is at text[quote] is the value of an address key:
// `file: "…"`, `"url": "…"`, `player.src = "…"`, `src("…")`, the key's last word (`videoUrl`,
// `hls_src`) being file, src, url, source, href, stream, hls or dash.
bool IsAddressValue(std::string_view text, std::size_t quote);

}  // namespace ql::service
