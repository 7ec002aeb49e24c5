// The timed runner with its worker start made replaceable, so that tests can try a start
// that fails. The program itself calls TimedHttpRequest (timed_request.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

#include "base/worker_win.h"
#include "web/timed_request.h"

namespace ql {

// The eleven arguments of TimedHttpRequest, in their order.
struct TimedRequestArguments {
    Text url;
    std::optional<std::int32_t> method;
    std::optional<Text> proxy;
    std::optional<Text> headers;
    std::optional<ByteSet> postData;
    std::optional<Text> cookies;
    std::optional<std::int32_t> timeoutSeconds;
    Text* responseHeaders = nullptr;
    std::optional<std::int32_t> convert;
    Text* receivedCookies = nullptr;
    std::optional<bool> followRedirects;
};

ByteSet RunTimedRequest(const TimedRequestArguments& arguments, WorkerStart start);

}  // namespace ql
