// The timed request runner: the program's one entry point for web access through the
// system's Internet API.
//
// Called on the user-interface thread. Runs one exchange (see http_request.h) on a worker
// thread of its own and waits for it under a time limit, processing the window messages
// that arrive meanwhile, so the window repaints and answers the user during the request
// (event handlers, another timed request included, can run inside the wait).
#pragma once

#include <cstdint>
#include <optional>

#include "text/gbk_markers.h"
#include "text/text.h"
#include "web/request_record.h"

namespace ql {

// What comes back in place of a body when the limit passes first (GBK bytes).
inline constexpr const char* kTimeoutNotice = QL_GBK_MARKER(
    "超时返回，指定网站不能访问，或者你的网络出现问题，你可以把参数中的＂超时返回＂的值设置长一些。",
    "\xB3\xAC\xCA\xB1\xB7\xB5\xBB\xD8\xA3\xAC\xD6\xB8\xB6\xA8\xCD\xF8\xD5\xBE\xB2\xBB\xC4\xDC\xB7\xC3\xCE\xCA"
    "\xA3\xAC\xBB\xF2\xD5\xDF\xC4\xE3\xB5\xC4\xCD\xF8\xC2\xE7\xB3\xF6\xCF\xD6\xCE\xCA\xCC\xE2\xA3\xAC\xC4\xE3"
    "\xBF\xC9\xD2\xD4\xB0\xD1\xB2\xCE\xCA\xFD\xD6\xD0\xB5\xC4\xA3\xA2\xB3\xAC\xCA\xB1\xB7\xB5\xBB\xD8\xA3\xA2"
    "\xB5\xC4\xD6\xB5\xC9\xE8\xD6\xC3\xB3\xA4\xD2\xBB\xD0\xA9\xA1\xA3");

inline constexpr std::int64_t kDefaultTimeLimitMs = 60000;

// Puts "http://" in front of an address that does not begin with "http://" or "https://"
// (in any case: "HTTP://x" is left as it is). Nothing else is changed.
Text NormalizeRequestAddress(const Text& url);

// The limit in milliseconds: 60000 when omitted, else the seconds times 1000 (a limit of 0
// or below has passed before the first wait).
std::int64_t TimeLimitMs(std::optional<std::int32_t> timeoutSeconds);

// The exchange the runner hands to its worker: method 1 is a POST, any other a GET.
HttpRequestInput TimedRequestInput(const Text& normalizedUrl, std::optional<std::int32_t> method,
                                   const std::optional<Text>& proxy, const std::optional<Text>& headers,
                                   const std::optional<ByteSet>& postData, const std::optional<Text>& cookies,
                                   std::optional<bool> followRedirects);

// The body as the caller asked for it: 1 converts UTF-8 and 2 converts Big5 into GBK (the
// body is then a text and ends at its first zero byte); any other value leaves it as it is.
ByteSet ConvertedBody(ByteSet body, std::int32_t convert);

#ifdef _WIN32
// Parameters after the first may be omitted; an omitted output is not written.
//   method          1 sends a POST, anything else (default 0) a GET
//   proxy           host:port for the http scheme; empty (default) connects directly
//   headers         extra request header lines, each ending in "\r\n"
//   postData        the request body of a POST
//   cookies         cookie text to send
//   timeoutSeconds  time limit (default 60 s); when it passes the result is kTimeoutNotice
//   responseHeaders receives the raw response header block
//   convert         1: the body is UTF-8, 2: Big5 (becomes simplified GBK); the converted body
//                   is a text and ends at its first zero byte. Other values (default 0): the
//                   bytes unchanged
//   receivedCookies receives "name=value;" for every cookie the response set
//   followRedirects default true
// Returns the body, the bytes of kTimeoutNotice, or empty (blank address, no worker, or the
// window was closed during the wait: the wait then ends at once and the quit message is
// posted again for the program's loop).
ByteSet TimedHttpRequest(const Text& url, std::optional<std::int32_t> method = std::nullopt,
                         const std::optional<Text>& proxy = std::nullopt,
                         const std::optional<Text>& headers = std::nullopt,
                         const std::optional<ByteSet>& postData = std::nullopt,
                         const std::optional<Text>& cookies = std::nullopt,
                         std::optional<std::int32_t> timeoutSeconds = std::nullopt, Text* responseHeaders = nullptr,
                         std::optional<std::int32_t> convert = std::nullopt, Text* receivedCookies = nullptr,
                         std::optional<bool> followRedirects = std::nullopt);
#endif

}  // namespace ql
