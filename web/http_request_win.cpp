#include "web/http_request.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <initializer_list>
#include <new>
#include <string>
#include <utility>

#include "base/owned_win.h"

namespace ql {

static_assert(http_flags::kReload == INTERNET_FLAG_RELOAD);
static_assert(http_flags::kNeedFile == INTERNET_FLAG_NEED_FILE);
static_assert(http_flags::kIgnoreRedirectToHttps == INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS);
static_assert(http_flags::kNoCookies == INTERNET_FLAG_NO_COOKIES);
static_assert(http_flags::kNoAutoRedirect == INTERNET_FLAG_NO_AUTO_REDIRECT);
static_assert(http_flags::kSecure == INTERNET_FLAG_SECURE);
static_assert(kHttpsPort == INTERNET_DEFAULT_HTTPS_PORT);

namespace {

// Bytes asked of each read while the body flows. The body is the same for any size, but each
// read is one round of work for the system: under the measured loads 2 KiB blocks read at a
// fifth of the speed of 64 KiB ones, and 1 MiB blocks were faster still.
constexpr DWORD kReadBlock = 1 << 20;
// The system's own read buffer holds this much: when that much is waiting, the body flows
// and is read in large blocks; less is a trickle, read as it comes.
constexpr DWORD kFlowing = 8192;
// A declared length above this is not trusted with memory before the bytes arrive.
constexpr std::size_t kMaxReservation = 256u << 20;
// The first header query's buffer; a longer block is fetched again at the size reported.
constexpr DWORD kHeaderBuffer = 2048;

bool Stopped(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(std::memory_order_acquire); }

void SetNetworkTimeouts(HINTERNET request, DWORD ms) {
    // Only the request handle's time-outs govern the calls made on it.
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        InternetSetOptionA(request, option, &ms, sizeof ms);
    }
}

// Reads until the body ends (or a read fails). The declared length, when there is one, only
// sizes the first allocation so that a large body is not copied as it grows; it never
// decides how much is read.
//
// A blocking read returns only when its whole block is filled or the body ends, so unless
// whole blocks keep coming, a read first waits for the bytes to be there (a wait that the
// request's receive time-out bounds) and a trickle is read as it arrives: the stop word is
// looked at between reads, so a worker given up on a body that never ends, fast or slow,
// stops at its next read.
ByteSet ReadBody(HINTERNET request, const std::atomic<bool>* stop) {
    ByteSet body;
    DWORD declared = 0;
    DWORD size = sizeof declared;
    if (HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &declared, &size, nullptr)) {
        try {
            body.reserve(std::min<std::size_t>(declared, kMaxReservation));
        } catch (const std::bad_alloc&) {
            // Then the body grows as it arrives.
        }
    }
    // While whole blocks keep coming the body flows, and the next block is read at once.
    bool flowing = false;
    for (;;) {
        if (Stopped(stop)) {
            return ByteSet();
        }
        const std::size_t had = body.size();
        DWORD want = kReadBlock;
        // Before waiting for a trickle, and before the storage grows (a body that has filled
        // its declared length has usually ended), ask what is waiting.
        if (!flowing || had == body.capacity()) {
            DWORD waiting = 0;
            if (!InternetQueryDataAvailable(request, &waiting, 0, 0) || waiting == 0) {
                break;
            }
            if (!flowing) {
                want = waiting >= kFlowing ? kReadBlock : waiting;
            }
        }
        if (had < body.capacity()) {
            want = static_cast<DWORD>(std::min<std::size_t>(want, body.capacity() - had));
        }
        // The bytes are read straight into their place in the body, never through a block of
        // their own: a copy of the whole body costs a tenth of the throughput.
        body.resize(had + want);
        DWORD got = 0;
        const bool read = InternetReadFile(request, body.data() + had, want, &got) && got <= want;
        body.resize(had + (read ? got : 0));
        if (body.size() == had) {
            break;
        }
        flowing = got == kReadBlock;
    }
    if (body.capacity() - body.size() > kReadBlock) {
        body.shrink_to_fit();  // the server declared more than it sent
    }
    return body;
}

// A text the response holds (`what`: an HTTP_QUERY_ value); empty when it has none.
Text QueryResponseText(HINTERNET request, DWORD what) {
    std::string buffer(kHeaderBuffer, '\0');
    // Twice is enough (the size reported fits); the bound only guards against a system that
    // keeps asking for more.
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD length = static_cast<DWORD>(buffer.size());
        if (HttpQueryInfoA(request, what, buffer.data(), &length, nullptr)) {
            return Text(buffer.c_str());
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length <= buffer.size()) {
            return Text();
        }
        buffer.assign(static_cast<std::size_t>(length) + 1, '\0');
    }
    return Text();
}

// The raw response header block; empty when it does not start with a status line (a
// connection closed before any answer leaves a bare line break).
Text RawResponseHeaders(HINTERNET request) {
    Text headers = QueryResponseText(request, HTTP_QUERY_RAW_HEADERS_CRLF);
    return TextLeft(headers, 5) == Text("HTTP/") ? headers : Text();
}

std::int32_t StatusCode(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
        return 0;
    }
    return static_cast<std::int32_t>(status);
}

Text LocationOf(HINTERNET request) { return QueryResponseText(request, HTTP_QUERY_LOCATION); }

const char* OrNull(const Text& text) { return text.empty() ? nullptr : text.c_str(); }

// One request and its response, without following a redirect.
struct SingleExchange {
    HttpResponse response;  // body, raw headers; the cookies are collected by the caller
    std::int32_t status = 0;
    Text location;  // of a redirect that is to be followed
    Text cookieAddress;
    bool answered = false;
};

// `mayFollow`: a redirect is to be followed (redirects are on, and the limit is not reached).
SingleExchange ExchangeOnce(const HttpRequestInput& input, std::uint32_t networkTimeoutMs,
                            const std::atomic<bool>* stop, bool mayFollow) {
    SingleExchange result;
    const HttpRequestPlan plan = PlanHttpRequest(input);
    if (plan.port < 0 || plan.port > 65535) {
        return result;
    }

    // Declared in the order of opening, so that every early return closes the request, then
    // the connection, then the Internet handle.
    UniqueInternetHandle internet(
        plan.direct ? InternetOpenA(plan.agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, "", "", 0)
                    : InternetOpenA(plan.agent.c_str(), INTERNET_OPEN_TYPE_PROXY, plan.proxyList.c_str(), "", 0));
    if (!internet) {
        return result;
    }
    UniqueInternetHandle connection(InternetConnectA(internet.get(), plan.host.c_str(),
                                                     static_cast<INTERNET_PORT>(plan.port), "", "",
                                                     INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
        return result;
    }
    // No accept-type list and an empty referrer: the Accept and Referer values travel in the
    // header block. The engine follows redirects itself (to count them), never the system.
    UniqueInternetHandle request(HttpOpenRequestA(connection.get(), plan.method.c_str(), plan.path.c_str(),
                                                  kHttpVersion, "", nullptr, plan.flags | http_flags::kNoAutoRedirect,
                                                  0));
    if (!request) {
        return result;
    }
    if (networkTimeoutMs != 0) {
        SetNetworkTimeouts(request.get(), networkTimeoutMs);
    }

    // A failed send (refused, timed out) has no response to read.
    if (Stopped(stop) ||
        !HttpSendRequestA(request.get(), OrNull(plan.headerBlock), static_cast<DWORD>(plan.headerBlock.size()),
                          plan.sentBody.empty() ? nullptr : const_cast<std::uint8_t*>(plan.sentBody.data()),
                          static_cast<DWORD>(plan.sentBody.size()))) {
        return result;
    }
    result.response.headers = RawResponseHeaders(request.get());
    if (result.response.headers.empty()) {
        return result;  // no status line: no response
    }
    result.status = StatusCode(request.get());
    if (mayFollow && IsFollowedRedirect(result.status)) {
        result.location = LocationOf(request.get());
    }
    // The body of a redirect that is followed is never looked at.
    if (result.location.empty()) {
        result.response.body = ReadBody(request.get(), stop);
    }
    result.cookieAddress = plan.cookieAddress;
    result.answered = !Stopped(stop);
    return result;
}

// Puts the cookies of a response into the system's store and returns their text; nothing
// is stored once the runner has given up.
Text StoreReceivedCookies(const SingleExchange& exchange, const std::atomic<bool>* stop) {
    ReceivedCookies received = CollectReceivedCookies(exchange.response.headers);
    for (const ReceivedCookie& cookie : received.cookies) {
        if (Stopped(stop)) {
            return Text();
        }
        InternetSetCookieA(exchange.cookieAddress.c_str(), OrNull(cookie.name), cookie.value.c_str());
    }
    return std::move(received.text);
}

}  // namespace

HttpResponse PerformHttpRequest(const HttpRequestInput& input, std::uint32_t networkTimeoutMs,
                                const std::atomic<bool>* stop) {
    HttpRequestInput hop = input;
    for (int redirects = 0;; ++redirects) {
        SingleExchange exchange =
            ExchangeOnce(hop, networkTimeoutMs, stop, input.followRedirects && redirects < kMaxRedirects);
        if (!exchange.answered) {
            return HttpResponse();
        }
        // The handles are closed by now; the cookies of every response go into the store, as
        // when the system follows a redirect.
        Text cookies = StoreReceivedCookies(exchange, stop);
        if (Stopped(stop)) {
            return HttpResponse();
        }
        if (exchange.location.empty()) {
            // The last answer is the result, a redirect past the limit included.
            exchange.response.receivedCookies = std::move(cookies);
            return std::move(exchange.response);
        }
        hop = RedirectedInput(hop, exchange.status, RedirectTarget(hop.address, exchange.location));
    }
}

void HttpRequest(RequestRecord& record, std::uint32_t networkTimeoutMs, const std::atomic<bool>* stop) noexcept {
    try {
        HttpResponse response = PerformHttpRequest(UnpackRequest(record), networkTimeoutMs, stop);
        PackResponse(record, std::move(response));
    } catch (...) {
        // Only memory can run out here; the caller then sees the empty result.
        PackResponse(record, HttpResponse());
    }
}

}  // namespace ql
