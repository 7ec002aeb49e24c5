// The pages of the product web site that the service answers besides its replies: GBK pages
// (the product page, the guest book, a home page listing the sample addresses) and the update
// notice (UTF-8, as the program reads it) with its placeholder archive, and the sample media.
#pragma once

#include <string>
#include <string_view>

namespace ql::service {

// The media parts a sample page address lists, each a page of the site (/media/ID/partN.mp4).
constexpr int kSampleParts = 3;

// A GBK page with `title` as its title and heading, then `body`.
std::string HtmlPage(std::string_view title, std::string_view body);
std::string HomePage();
std::string ProductPage();
std::string GuestbookPage();
// The notice announcing the version the program is built as, and `base` + "/qlw_sp.rar".
std::string UpdateNotice(const std::string& base);
std::string UpdateArchive();
// The sample media part `part` (1 to kSampleParts) of sample id `id` (about 4 KiB of
// placeholder bytes).
std::string SampleMedia(std::string_view id, int part);

}  // namespace ql::service
