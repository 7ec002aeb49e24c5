#include "service/server/service_http.h"

#include <cstdio>

#include "service/reading/ascii.h"
#include "service/site/site_pages.h"

namespace ql::service {

namespace {

std::string LowerCopy(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = Lower(c);
    return out;
}

bool IsTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

constexpr std::string_view kHtml = "text/html; charset=gbk";

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 431:
            return "Request Header Fields Too Large";
        case 501:
            return "Not Implemented";
        case 503:
            return "Service Unavailable";
        default:
            return "Unknown";
    }
}

Response Page(int status, std::string body, std::string_view contentType = kHtml) {
    Response response;
    response.status = status;
    response.contentType = std::string(contentType);
    response.body = std::move(body);
    return response;
}

Response ErrorPage(int status, std::string_view text) {
    return Page(status, HtmlPage(std::to_string(status), "<p>" + std::string(text) + "</p>"));
}

// "/media/ID/partN.mp4": the id (no "/", not empty) and the part, or part 0.
int MediaPart(std::string_view path, std::string_view* id) {
    constexpr std::string_view kPrefix = "/media/";
    if (path.substr(0, kPrefix.size()) != kPrefix) return 0;
    path.remove_prefix(kPrefix.size());
    const std::size_t slash = path.find('/');
    if (slash == 0 || slash == std::string_view::npos) return 0;
    *id = path.substr(0, slash);
    const std::string_view file = path.substr(slash + 1);
    if (file.size() != 9 || file.substr(0, 4) != "part" || file.substr(5) != ".mp4") return 0;
    const int part = file[4] - '0';
    return part >= 1 && part <= kSampleParts ? part : 0;
}

}  // namespace

const std::string* RequestHead::Header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (key == name) return &value;
    }
    return nullptr;
}

std::size_t RequestHead::Count(std::string_view name) const {
    std::size_t n = 0;
    for (const auto& header : headers)
        n += header.first == name;
    return n;
}

HeadStatus ReadRequestHead(std::string_view received, RequestHead* head) {
    // The end of the head: the first empty line.
    std::size_t end = std::string_view::npos;
    std::size_t endSize = 0;
    for (std::size_t i = received.find('\n'); i != std::string_view::npos; i = received.find('\n', i + 1)) {
        if (i + 1 < received.size() && received[i + 1] == '\n') {
            end = i + 1, endSize = 1;
            break;
        }
        if (i + 2 < received.size() && received[i + 1] == '\r' && received[i + 2] == '\n') {
            end = i + 1, endSize = 2;
            break;
        }
        if (i + 1 > kMaxRequestHead) break;
    }
    if (end == std::string_view::npos) {
        return received.size() > kMaxRequestHead ? HeadStatus::kTooLarge : HeadStatus::kIncomplete;
    }
    if (end + endSize > kMaxRequestHead) return HeadStatus::kTooLarge;
    *head = RequestHead();
    head->size = end + endSize;
    std::string_view lines = received.substr(0, end);
    bool first = true;
    while (!lines.empty()) {
        const std::size_t lf = lines.find('\n');
        std::string_view line = lines.substr(0, lf);
        lines.remove_prefix(lf + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        for (char c : line) {
            if (c == '\r' || c == '\0') return HeadStatus::kMalformed;
        }
        if (first) {
            // METHOD SP TARGET SP HTTP/1.x
            first = false;
            const std::size_t sp1 = line.find(' ');
            const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
            if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos) {
                return HeadStatus::kMalformed;
            }
            const std::string_view method = line.substr(0, sp1);
            const std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
            const std::string_view version = line.substr(sp2 + 1);
            if (method.empty() || target.empty() || target[0] != '/') return HeadStatus::kMalformed;
            for (char c : method) {
                if (!IsTokenChar(c)) return HeadStatus::kMalformed;
            }
            for (char c : target) {
                if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) return HeadStatus::kMalformed;
            }
            if (version != "HTTP/1.1" && version != "HTTP/1.0") return HeadStatus::kMalformed;
            head->method = std::string(method);
            head->target = std::string(target);
            continue;
        }
        // A folded line continues no header here: it is refused, as is a name with blanks.
        const std::size_t colon = line.find(':');
        if (colon == 0 || colon == std::string_view::npos) return HeadStatus::kMalformed;
        for (char c : line.substr(0, colon)) {
            if (!IsTokenChar(c)) return HeadStatus::kMalformed;
        }
        if (head->headers.size() == kMaxHeaderLines) return HeadStatus::kTooLarge;
        head->headers.emplace_back(LowerCopy(line.substr(0, colon)), std::string(Trim(line.substr(colon + 1))));
    }
    return first ? HeadStatus::kMalformed : HeadStatus::kComplete;
}

std::string ServiceSite::Base() const {
    std::string host = bind;
    if (host.empty() || host == "0.0.0.0" || host == "::" || host == "[::]") host = std::string(kLoopbackAddress);
    if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
    return "http://" + host + ":" + std::to_string(port);
}

bool HostAccepted(std::string_view host, const ServiceSite& site) {
    const std::string given = LowerCopy(host);
    const std::string port = ":" + std::to_string(site.port);
    std::string bind = LowerCopy(site.bind);
    if (bind.find(':') != std::string::npos && bind.front() != '[') bind = "[" + bind + "]";
    for (const std::string& name : {std::string(kLoopbackAddress), std::string("localhost"), bind}) {
        if (given == name + port) return true;
    }
    return false;
}

bool BrowserMarked(const RequestHead& head) {
    if (head.Header("origin") != nullptr) return true;
    for (const auto& [name, value] : head.headers) {
        if (name == "sec-fetch-site" && LowerCopy(value) != "none") return true;
    }
    return false;
}

namespace {

// Whom the service answers: its own Host, and no page open in a browser.
std::optional<Response> Refusal(const RequestHead& head, const ServiceSite& site) {
    const std::string* host = head.Header("host");
    if (host == nullptr || head.Count("host") != 1 || !HostAccepted(*host, site)) {
        return ErrorPage(403, "This service answers only the program on this machine.");
    }
    if (BrowserMarked(head)) return ErrorPage(403, "This service does not answer web pages.");
    return std::nullopt;
}

}  // namespace

std::optional<std::string_view> ParseQuery(const RequestHead& head, const ServiceSite& site) {
    if ((head.method != "GET" && head.method != "HEAD") || Refusal(head, site)) return std::nullopt;
    const std::string_view target = head.target;
    const std::size_t mark = target.find('?');
    if (target.substr(0, mark) != "/parse.php") return std::nullopt;
    return mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1);
}

Response Answer(const RequestHead& head, const ServiceSite& site, const ParseFunction& parse) {
    const bool headOnly = head.method == "HEAD";
    if (head.method != "GET" && !headOnly) {
        Response response = ErrorPage(501, "Unsupported method");
        response.extraHeaders.emplace_back("Allow", "GET, HEAD");
        return response;
    }
    Response response;
    if (std::optional<Response> refusal = Refusal(head, site)) {
        response = std::move(*refusal);
    } else {
        const std::string_view target = head.target;
        const std::size_t mark = target.find('?');
        const std::string_view path = target.substr(0, mark);
        const std::string_view query = mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1);
        std::string_view id;
        if (path == "/parse.php") {
            std::optional<std::string> reply = parse(query);
            response = reply ? Page(200, std::move(*reply)) : ErrorPage(503, "Busy: try again in a moment.");
            if (!reply) response.extraHeaders.emplace_back("Retry-After", "1");
        } else if (path == "/my-show-id-soft.html") {
            response = Page(200, ProductPage());
        } else if (path == "/index.php" && query == "s=gb-show.html") {
            response = Page(200, GuestbookPage());
        } else if (path == "/" || path == "/index.html") {
            response = Page(200, HomePage());
        } else if (path == "/update-notice.html") {
            response = Page(200, UpdateNotice(site.Base()), "text/html; charset=utf-8");
        } else if (path == "/qlw_sp.rar") {
            response = Page(200, UpdateArchive(), "application/octet-stream");
        } else if (const int part = MediaPart(path, &id); part > 0) {
            response = Page(200, SampleMedia(id, part), "video/mp4");
            std::string name;
            for (char c : id) {
                const bool keep =
                    (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
                name.push_back(keep ? c : '_');
            }
            response.extraHeaders.emplace_back("Content-Disposition", "attachment; filename=\"" + name + "_part" +
                                                                          std::to_string(part) + ".mp4\"");
        } else {
            response = ErrorPage(404, "没有这个页面。");
        }
    }
    response.headOnly = headOnly;
    return response;
}

Response AnswerUnreadable(HeadStatus status) {
    return status == HeadStatus::kTooLarge ? ErrorPage(431, "Request head too large.") : ErrorPage(400, "Bad request.");
}

std::string ResponseBytes(const Response& response, std::string_view date) {
    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " + Reason(response.status) + "\r\n";
    out += "Server: QinglanLocalService/1.0\r\nDate: ";
    out += date;
    out += "\r\nContent-Type: " + response.contentType + "\r\n";
    out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    out += "Cache-Control: no-store\r\n";
    for (const auto& [name, value] : response.extraHeaders)
        out += name + ": " + value + "\r\n";
    out += "Connection: close\r\n\r\n";
    if (!response.headOnly) out += response.body;
    return out;
}

std::string HttpDate(std::int64_t unixSeconds) {
    static constexpr const char* kDays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (unixSeconds < 0) unixSeconds = 0;
    const std::int64_t days = unixSeconds / 86400;
    const std::int64_t secs = unixSeconds % 86400;
    // Civil date from days since 1970-01-01 (the proleptic Gregorian calendar).
    const std::int64_t z = days + 719468;
    const std::int64_t era = z / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2);
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[days % 7], static_cast<int>(day),
                  kMonths[month - 1], static_cast<int>(year), static_cast<int>(secs / 3600),
                  static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60));
    return text;
}

}  // namespace ql::service
