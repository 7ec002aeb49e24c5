// The HTTP request engine: one complete GET or POST exchange through the system's Internet
// API, run on the worker thread of a timed request.
//
// Everything the engine decides before and after talking to the system is here as pure
// functions of texts (the flag word, the completed header block, the cookie line, the
// received cookies, the port); `HttpRequest` (Windows only) puts them to work.
//
// All texts are GBK bytes and pass through without any charset conversion.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "text/text.h"
#include "web/request_record.h"

namespace ql {

// The Internet API's request flag values, repeated so the flag word can be built and tested
// on any platform (the Windows build checks them against the system's headers).
namespace http_flags {
inline constexpr std::uint32_t kReload = 0x80000000;                 // fetch from the server, not the cache
inline constexpr std::uint32_t kNeedFile = 0x00000010;               // keep a cache file
inline constexpr std::uint32_t kIgnoreRedirectToHttps = 0x00004000;  // let http -> https redirects pass
inline constexpr std::uint32_t kNoCookies = 0x00080000;              // neither send nor store system cookies
inline constexpr std::uint32_t kNoAutoRedirect = 0x00200000;
inline constexpr std::uint32_t kSecure = 0x00800000;
}  // namespace http_flags

// The engine's identity and the header lines it adds.
inline constexpr const char* kDefaultAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727; .NET CLR 3.0.04506.648; "
    ".NET CLR 3.5.21022)";
inline constexpr const char* kDefaultAcceptLine =
    "Accept: image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*\r\n";
inline constexpr const char* kDefaultLanguageLine = "Accept-Language: zh-cn\r\n";
inline constexpr const char* kFormContentTypeLine = "Content-Type: application/x-www-form-urlencoded\r\n";
inline constexpr const char* kProxyListPrefix = "http=";
inline constexpr const char* kHttpVersion = "HTTP/1.1";
// A caller who puts this marker anywhere in the header text gets no Referer line.
inline constexpr const char* kRefererSuppressionMarker = "RefererNo";
inline constexpr std::int32_t kHttpsPort = 443;

// True when the address's scheme is https (letters in either case). Only the scheme counts:
// an "https://" further on, in a query for example, does not make a plain address secure.
bool IsSecureAddress(const Text& address);

// The port to connect to. A secure address connects to the port it names, or 443 when it
// names none (or names no usable number); any other address to `PortFromUrl` of it.
std::int32_t ConnectPort(const Text& address);

// The request flag word: reload and keep a cache file; no system cookies when the caller's
// cookie text, trimmed, is not empty; no automatic redirects when they are refused; and for
// a secure request the secure flag, otherwise the flag that lets http -> https redirects pass.
std::uint32_t RequestFlagWord(bool secure, const Text& cookies, bool followRedirects);

// The agent name: the value of a "User-Agent:" line of the header text (name in any case,
// value up to the next "\r\n", spaces trimmed), else the default agent.
Text AgentFromHeaders(const Text& headers);

// The caller's header text with the default Accept, Referer and Accept-Language lines
// appended where the caller's text does not already name them. Each name is looked for as a
// substring, in any case: an "Accept-Language" line suppresses the Accept line too. A text
// holding "RefererNo" loses its first exact "RefererNo" and gets no Referer line.
Text CompleteHeaders(const Text& headers, const Text& address);

// "Cookie: <cookies>\r\n\r\n" for a non-empty cookie text (blanks count), else empty.
Text CookieLine(const Text& cookies);

// The header block that is sent: the completed headers, for a POST with a body its
// Content-Type and Content-Length lines unless the caller named them, then the cookie line.
// Only the exact method text "POST" carries the body; any other method is sent as a GET.
Text RequestHeaderBlock(const Text& method, const Text& completedHeaders, const ByteSet& body, const Text& cookies);

// A cookie as it goes into the system cookie store: the Set-Cookie value split at its first
// "=" (the value keeps its attributes, such as path and expiry).
struct ReceivedCookie {
    Text name;
    Text value;
};

struct ReceivedCookies {
    Text text;  // "name=value;" per cookie in header order; just ";" for a line without ";"
    std::vector<ReceivedCookie> cookies;
};

// The cookies that a raw response header block sets: one per line that holds "Set-Cookie: "
// in any case.
ReceivedCookies CollectReceivedCookies(const Text& headerBlock);

// Everything the engine hands to the system for one exchange.
struct HttpRequestPlan {
    Text agent;
    bool direct = true;
    Text proxyList;  // "http=<proxy>" when not direct
    Text host;
    std::int32_t port = 80;
    Text method;
    Text path;
    std::uint32_t flags = 0;
    Text headerBlock;
    ByteSet sentBody;    // the body for a POST, else empty
    Text cookieAddress;  // where received cookies are stored: "http://" and the host
};

HttpRequestPlan PlanHttpRequest(const HttpRequestInput& input);

// The engine follows redirects itself, at most this many in one exchange; the response to
// the last one is the result, even when it is another redirect.
inline constexpr int kMaxRedirects = 10;

// True for the status codes the engine follows when redirects are on: 301, 302, 303, 307, 308.
bool IsFollowedRedirect(std::int32_t status);

// Where a Location value sends a request made to `base`: an absolute http or https address
// (in any case) as it is, "//host/…" with the base's scheme, "/path" on the base's scheme and
// host, anything else beside the base's last "/" (a query or fragment of the base ignored).
Text RedirectTarget(const Text& base, const Text& location);

// The exchange that follows a redirect with `status` from `hop`: to `target`, with the
// header lines of `hop` (its Referer too); a 303, and a 301 or 302 after a POST, becomes a
// GET without a body, the others keep method and body.
HttpRequestInput RedirectedInput(const HttpRequestInput& hop, std::int32_t status, const Text& target);

#ifdef _WIN32
// The worker's whole job: reads the inputs from `record`, performs the exchange and leaves
// the results in slots 1, 2 and 6. Never throws; every failure leaves empty results.
// `networkTimeoutMs` (when not 0) becomes the connect, send and receive time-outs of each
// request, so a call that waits on a silent server ends at that time. `stop` (when given) is
// the runner's word that it has given up: the exchange then ends before its next read or
// redirect, stores no cookies and leaves empty results.
void HttpRequest(RequestRecord& record, std::uint32_t networkTimeoutMs = 0,
                 const std::atomic<bool>* stop = nullptr) noexcept;

// The same exchange on values, without a record.
HttpResponse PerformHttpRequest(const HttpRequestInput& input, std::uint32_t networkTimeoutMs = 0,
                                const std::atomic<bool>* stop = nullptr);
#endif

}  // namespace ql
