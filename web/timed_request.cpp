#include "web/timed_request.h"

#include <utility>

#include "web/charset.h"
#include "web/url.h"

namespace ql {

Text NormalizeRequestAddress(const Text& url) { return SchemeLength(url) > 0 ? url : TextJoin("http://", url); }

std::int64_t TimeLimitMs(std::optional<std::int32_t> timeoutSeconds) {
    if (!timeoutSeconds) {
        return kDefaultTimeLimitMs;
    }
    return static_cast<std::int64_t>(*timeoutSeconds) * 1000;  // 64 bits: no overflow for any int32
}

HttpRequestInput TimedRequestInput(const Text& normalizedUrl, std::optional<std::int32_t> method,
                                   const std::optional<Text>& proxy, const std::optional<Text>& headers,
                                   const std::optional<ByteSet>& postData, const std::optional<Text>& cookies,
                                   std::optional<bool> followRedirects) {
    HttpRequestInput input;
    input.address = normalizedUrl;
    input.method = method.value_or(0) == 1 ? "POST" : "GET";
    input.proxy = proxy.value_or(Text());
    input.headers = headers.value_or(Text());
    input.body = postData.value_or(ByteSet());
    input.cookies = cookies.value_or(Text());
    input.followRedirects = followRedirects.value_or(true);
    return input;
}

ByteSet ConvertedBody(ByteSet body, std::int32_t convert) {
    switch (convert) {
        case 1:
            return TextToBytes(Utf8TextToGbk(BytesToText(body)));
        case 2:
            return TextToBytes(Big5ToSimplifiedGbk(BytesToText(body)));
        default:
            return body;
    }
}

}  // namespace ql
