// The parse service's answer to "/parse.php?QUERY": the reply page of the service's format.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "service/page_fetch.h"
#include "service/server/reply_format.h"

namespace ql::service {

// The GBK reply page whose form m3uForm carries `lines` in its hidden field inf, between
// ReplyStartMarker and ReplyEndMarker, CR LF between lines.
std::string ReplyPage(const std::vector<std::string>& lines);

// The value of the first "kw" in a raw query, percent-decoded to bytes ("+" stays "+").
std::string KwValue(std::string_view rawQuery);

// The id of a sample page address (http://v.example.test/v_show/id_ID.html, any scheme or
// none, any port, query or fragment), or empty.
std::string SampleVideoId(std::string_view address);

// Whether the reply to "/parse.php?rawQuery" needs a page fetched: its address is http or
// https, and neither a sample page's nor itself a media file's.
bool ReplyNeedsFetch(std::string_view rawQuery);

// The reply to "/parse.php?rawQuery": a sample address answers this service's own sample
// media under `base` (e.g. "http://127.0.0.1:47615") without a fetch; any other address is
// read through `fetcher`, and a page's address is also given to `extractor` (when there is
// one) at the same time: the extractor's rows when it lists any, else the reading's; nothing
// found gives the refusal line. `why`, when given, says why nothing was found.
std::string ParseReply(std::string_view rawQuery, std::string_view base, PageFetcher& fetcher,
                       std::string* why = nullptr, SiteExtractor* extractor = nullptr);

}  // namespace ql::service
