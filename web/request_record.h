// The request record: the seven byte sets that the timed runner and its worker exchange.
//
// The runner fills the record before the worker starts; the worker reads its inputs from it
// and, when the exchange is over, leaves its results in slots 1, 2 and 6 of the same record.
// Texts are stored as their bytes, without a terminating zero.
//
//   slot | on entry (runner)                       | on return (worker)
//   -----+-----------------------------------------+-------------------------------------------
//     1  | request address ("http://…"/"https://…") | response body, raw bytes
//     2  | method, "GET" or "POST"                 | received cookies, "name=value;" per cookie
//     3  | proxy host:port, empty for direct       | unchanged
//     4  | extra request header lines              | unchanged
//     5  | request body                            | unchanged
//     6  | cookie text to send                     | raw response header block
//     7  | "真" when redirects are followed         | unchanged
#pragma once

#include <array>
#include <cstddef>

#include "text/gbk_markers.h"
#include "text/text.h"

namespace ql {

// Zero-based indexes of the slots; each slot's name says what it holds on entry and on return.
enum RequestSlot : std::size_t {
    kSlotAddressThenBody = 0,
    kSlotMethodThenCookies = 1,
    kSlotProxy = 2,
    kSlotHeaders = 3,
    kSlotPostData = 4,
    kSlotCookiesThenResponseHeaders = 5,
    kSlotFollowRedirects = 6,
    kRequestSlotCount = 7,
};

// Always exactly seven slots: the type holds the count, so a record read back can never be
// short or long.
struct RequestRecord {
    std::array<ByteSet, kRequestSlotCount> slots;
};

// What one exchange needs, as the worker reads it from the record.
struct HttpRequestInput {
    Text address;
    Text method = "GET";
    Text proxy;  // host:port for the http scheme; empty connects directly
    Text headers;
    ByteSet body;
    Text cookies;
    bool followRedirects = true;
};

// What one exchange yields. Every failure yields the empty response.
struct HttpResponse {
    ByteSet body;
    Text receivedCookies;  // "name=value;" per received cookie, joined without separator
    Text headers;          // the raw response header block, lines ending in "\r\n"
};

// The switch value that means "follow redirects" is kFollowRedirectsText, "真"; any other text
// means no; kRefuseRedirectsText, "假", is the one written for no (text/gbk_markers.h).

RequestRecord PackRequest(const HttpRequestInput& input);
// Texts end at their first zero byte; the body is taken whole.
HttpRequestInput UnpackRequest(const RequestRecord& record);

// Writes slots 1, 2 and 6 and leaves the others as they are. Both take their source by value
// so that a body of many megabytes is moved, not copied, when the caller gives it up.
void PackResponse(RequestRecord& record, HttpResponse response);
HttpResponse UnpackResponse(RequestRecord record);

}  // namespace ql
