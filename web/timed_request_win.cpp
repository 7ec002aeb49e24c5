#include "web/timed_request.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <new>
#include <utility>

#include "base/worker_win.h"
#include "web/http_request.h"
#include "web/timed_request_win.h"

namespace ql {

namespace {

// What the runner and its worker share. Each holds a reference, so whichever lets go last
// frees it: a worker given up at the limit can finish, and write its results, into memory
// that is still its own, and nobody reads them.
struct RequestJob {
    RequestRecord record;
    std::uint32_t networkTimeoutMs = 0;
    // Set by the runner when it gives up: the worker then stops at its next read or redirect
    // and stores no cookies, so an abandoned exchange neither streams on nor leaves traces.
    std::atomic<bool> stop{false};
};

void RunRequestWorker(RequestJob& job) { HttpRequest(job.record, job.networkTimeoutMs, &job.stop); }

ByteSet RunTimedRequestUnguarded(const TimedRequestArguments& a, WorkerStart start) {
    if (TextTrim(a.url).empty()) {
        return ByteSet();
    }
    auto job = std::make_shared<RequestJob>();
    job->record = PackRequest(TimedRequestInput(NormalizeRequestAddress(a.url), a.method, a.proxy, a.headers,
                                                a.postData, a.cookies, a.followRedirects));
    const std::int64_t limitMs = TimeLimitMs(a.timeoutSeconds);
    // The worker's network time-outs end a worker stuck on a silent server soon after the
    // runner has given up on it (0 would mean the system's defaults).
    job->networkTimeoutMs = limitMs < 1 ? 1 : limitMs >= INFINITE ? INFINITE - 1 : static_cast<std::uint32_t>(limitMs);

    const WorkerWait wait = RunJobOnWorker<RequestJob, &RunRequestWorker>(job, limitMs, start);
    if (!wait.started) {
        return ByteSet();
    }
    // A worker past the limit is told to stop and left to end on its own: stopping a thread
    // forcibly can leave a lock it holds (the heap's) taken. It stops at its next read; a
    // call that waits on a silent server ends at the network time-outs set from the limit
    // (closing the request's handle from here does not end such a call under Wine, and the
    // handle belongs to the worker). Closing the thread's handle does not stop the thread.
    if (!wait.ended) {
        job->stop.store(true, std::memory_order_release);
    }
    if (wait.quitting) {
        // The program is ending: no answer, not even the time-out notice, so that the caller
        // shows nothing and writes nothing.
        return ByteSet();
    }
    if (!wait.ended) {
        return TextToBytes(kTimeoutNotice);
    }
    HttpResponse response = UnpackResponse(std::move(job->record));
    if (a.responseHeaders) {
        *a.responseHeaders = response.headers;
    }
    if (a.receivedCookies) {
        *a.receivedCookies = response.receivedCookies;
    }
    return ConvertedBody(std::move(response.body), a.convert.value_or(0));
}

}  // namespace

ByteSet RunTimedRequest(const TimedRequestArguments& arguments, WorkerStart start) {
    try {
        return RunTimedRequestUnguarded(arguments, start);
    } catch (...) {
        // Only memory can run out (for the record, or for the result): the empty result.
        return ByteSet();
    }
}

ByteSet TimedHttpRequest(const Text& url, std::optional<std::int32_t> method, const std::optional<Text>& proxy,
                         const std::optional<Text>& headers, const std::optional<ByteSet>& postData,
                         const std::optional<Text>& cookies, std::optional<std::int32_t> timeoutSeconds,
                         Text* responseHeaders, std::optional<std::int32_t> convert, Text* receivedCookies,
                         std::optional<bool> followRedirects) {
    return RunTimedRequest({url, method, proxy, headers, postData, cookies, timeoutSeconds, responseHeaders, convert,
                            receivedCookies, followRedirects},
                           &StartWorkerThread);
}

}  // namespace ql
