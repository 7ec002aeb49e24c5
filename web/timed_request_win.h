// The timed runner with its worker start made replaceable, so that tests can try a start
// that fails. The program itself calls TimedHttpRequest (timed_request.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

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

// Starts `routine(param)` on a new thread; a null handle means no thread was started.
using WorkerStart = HANDLE (*)(LPTHREAD_START_ROUTINE routine, void* param);

// CreateThread with no security attributes, the default stack and no creation flags.
HANDLE StartWorkerThread(LPTHREAD_START_ROUTINE routine, void* param);

ByteSet RunTimedRequest(const TimedRequestArguments& arguments, WorkerStart start);

}  // namespace ql
