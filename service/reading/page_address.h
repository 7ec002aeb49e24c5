// Addresses found in pages: split, resolved against the page's address and written as plain
// ASCII rows, and what they say about themselves (a media file, a player page, the same site).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "service/reading/address_parts.h"
#include "service/reading/page_text.h"

namespace ql::service {

// `ref` resolved against `base` (both UTF-8) and written as plain ASCII: the host in its IDNA
// form, the path percent-encoded as UTF-8, the query in `charset` (as browsers send it; UTF-8
// when a character has no form there), blanks, quotes and angle brackets percent-encoded.
// Nothing for anything but an http or https address with a host.
std::optional<std::string> AbsoluteAddress(std::string_view ref, std::string_view base,
                                           PageCharset charset = PageCharset::kUtf8);

// Whether the path ends in a media file's extension (.mp4 .m4v .webm .ogv .flv .mov .mkv .mp3
// .m4a .m3u8 .mpd, any case).
bool HasMediaExtension(std::string_view address);
// Whether a path ends like a player page (.swf .html .shtml .php .asp .aspx .jsp, any case).
bool HasPagePath(std::string_view address);
// Whether a content type is media: video/*, audio/*, or an HLS or DASH manifest.
bool IsMediaType(std::string_view contentType);

// Whether two addresses are on the same site: the same host, or hosts under the same
// registrable name (the last two labels; three under com, net, org, gov, edu, co, ac, ne, or).
bool SameSite(std::string_view a, std::string_view b);

// The address the user typed (UTF-8, else GBK), "http://" put in front when it has no scheme
// (or starts "host:port"), as an ASCII row; nothing when it is no http or https address.
std::optional<std::string> TypedAddress(std::string_view typed);

}  // namespace ql::service
