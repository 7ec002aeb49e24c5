// The service's side of HTTP, portable: reading a request head under limits, deciding whom to
// answer, the routes and their answers, and the bytes of a response. The Windows server moves
// bytes between sockets and these routines.
//
// One request per connection: every answer says "Connection: close" and the connection ends
// after it, so bytes after a request's head (a GET's body, a second request) are never read as
// a request.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ql::service {

// A request head longer than this, or with more header lines, is refused (431).
constexpr std::size_t kMaxRequestHead = 16 * 1024;
constexpr std::size_t kMaxHeaderLines = 64;

// The default address of the service.
constexpr std::string_view kLoopbackAddress = "127.0.0.1";
constexpr int kDefaultPort = 47615;

struct RequestHead {
    std::string method;
    std::string target;                                        // as sent: path and query
    std::vector<std::pair<std::string, std::string>> headers;  // names lower case, values trimmed
    // Bytes of the head, the blank line included.
    std::size_t size = 0;

    // The first value of the header (lower-case name), or nothing.
    const std::string* Header(std::string_view name) const;
    std::size_t Count(std::string_view name) const;
};

enum class HeadStatus { kIncomplete, kComplete, kMalformed, kTooLarge };

// Reads the request head at the start of `received` (lines end in CR LF or LF). kIncomplete:
// more bytes are needed (and `received` is still within kMaxRequestHead).
HeadStatus ReadRequestHead(std::string_view received, RequestHead* head);

// Where the service listens and how it names itself.
struct ServiceSite {
    std::string bind = std::string(kLoopbackAddress);  // --bind: an address or a name
    int port = kDefaultPort;

    // "http://HOST:PORT", the address its sample media are listed under; a wildcard bind
    // address is named 127.0.0.1, an IPv6 one in brackets.
    std::string Base() const;
};

// The Host header names this service: "127.0.0.1:PORT", "localhost:PORT" or the --bind name
// with the port (any case). Anything else may be a page of another site whose name was made
// to point here, reading the answers.
bool HostAccepted(std::string_view host, const ServiceSite& site);

// The request comes from a page open in a browser: it carries an Origin header, or a
// Sec-Fetch-Site other than "none" (a page may not make the service fetch for it).
bool BrowserMarked(const RequestHead& head);

struct Response {
    int status = 200;
    std::string contentType;
    std::vector<std::pair<std::string, std::string>> extraHeaders;
    std::string body;
    bool headOnly = false;  // HEAD: the headers of the GET, without the body
};

// The answer to "/parse.php?RAWQUERY": the reply page, or nothing when the service is too
// busy to fetch now (503).
using ParseFunction = std::function<std::optional<std::string>(std::string_view rawQuery)>;

// The raw query of a parse request ("/parse.php?RAWQUERY" by GET or HEAD, from a client that
// is answered), the one Answer hands its ParseFunction; nothing for any other request.
std::optional<std::string_view> ParseQuery(const RequestHead& head, const ServiceSite& site);

// The answer to a request: 501 for a method other than GET and HEAD, 403 for a foreign Host
// or a browser-marked request (before anything is fetched), else the route's page or 404.
Response Answer(const RequestHead& head, const ServiceSite& site, const ParseFunction& parse);

// The answer to a request whose head could not be read: 400, or 431 when it was too large.
Response AnswerUnreadable(HeadStatus status);

// The bytes of a response, `date` being the Date header's value (see HttpDate).
std::string ResponseBytes(const Response& response, std::string_view date);

// An HTTP date ("Thu, 10 Dec 2026 12:00:00 GMT") for seconds since 1970 (UTC).
std::string HttpDate(std::int64_t unixSeconds);

}  // namespace ql::service
