#include "web/http_request.h"

#include "text/between.h"
#include "web/url.h"

namespace ql {

namespace {
constexpr const char* kSetCookieName = "Set-Cookie: ";
constexpr std::int32_t kSetCookieNameLength = 12;
}  // namespace

bool IsSecureAddress(const Text& address) { return SchemeLength(address) == 8; }

std::int32_t ConnectPort(const Text& address) {
    if (!IsSecureAddress(address)) {
        return PortFromUrl(address);
    }
    // PortFromUrl skips only a leading "http://", so the secure address's port is read here.
    const std::int64_t port = WrittenPort(address, 8).value_or(kHttpsPort);
    return port >= 1 && port <= 65535 ? static_cast<std::int32_t>(port) : kHttpsPort;
}

std::uint32_t RequestFlagWord(bool secure, const Text& cookies, bool followRedirects) {
    std::uint32_t flags = http_flags::kReload | http_flags::kNeedFile;
    if (!TextTrim(cookies).empty()) {
        // The caller's own cookies go alone: the system adds none and stores none.
        flags |= http_flags::kNoCookies;
    }
    if (!followRedirects) {
        flags |= http_flags::kNoAutoRedirect;
    }
    // A secure request keeps the caller's cookie and redirect choices and the cache bypass;
    // the redirect-to-https allowance only means something for a plain request.
    flags |= secure ? http_flags::kSecure : http_flags::kIgnoreRedirectToHttps;
    return flags;
}

Text AgentFromHeaders(const Text& headers) {
    if (TextFind(headers, "User-Agent:", 1, true) < 1) {
        return kDefaultAgent;
    }
    // The line stays in the header text and is sent as it is; the agent name only keeps the
    // system from adding a second, different one.
    return TextTrim(TextBetween(headers, "User-Agent:", "\r\n"));
}

Text CompleteHeaders(const Text& headers, const Text& address) {
    // Defaults go straight onto the end of the caller's text, with no separator: a caller's
    // last line without "\r\n" gets the first default line joined to it.
    Text completed = headers;
    if (TextFind(completed, "Accept", 1, true) < 1) {
        completed = TextJoin(completed, kDefaultAcceptLine);
    }
    if (TextFind(completed, kRefererSuppressionMarker, 1, true) > 0) {
        completed = TextReplace(completed, kRefererSuppressionMarker, "", 1, 1);
    } else if (TextFind(completed, "Referer", 1, true) < 1) {
        completed = TextJoin(completed, "Referer: ", address, "\r\n");
    }
    if (TextFind(completed, "Accept-Language", 1, true) < 1) {
        completed = TextJoin(completed, kDefaultLanguageLine);
    }
    return completed;
}

Text CookieLine(const Text& cookies) {
    if (cookies.empty()) {
        return Text();
    }
    return TextJoin("Cookie: ", cookies, "\r\n\r\n");
}

Text RequestHeaderBlock(const Text& method, const Text& completedHeaders, const ByteSet& body, const Text& cookies) {
    Text block = completedHeaders;
    if (method == Text("POST") && !body.empty()) {
        if (TextFind(block, "Content-Type", 1, true) < 1) {
            block = TextJoin(block, kFormContentTypeLine);
        }
        if (TextFind(block, "Content-Length", 1, true) < 1) {
            block = TextJoin(block, "Content-Length: ", TextFromNumber(static_cast<std::int64_t>(body.size())), "\r\n");
        }
    }
    block += CookieLine(cookies);
    return block;
}

ReceivedCookies CollectReceivedCookies(const Text& headerBlock) {
    ReceivedCookies received;
    if (TextFind(headerBlock, kSetCookieName, 1, true) < 1) {
        return received;
    }
    const std::int32_t length = TextLength(headerBlock);
    std::int32_t pos = 1;
    while (pos <= length) {
        const std::int32_t end = TextFind(headerBlock, "\r\n", pos);
        const Text line = TextMid(headerBlock, pos, end > 0 ? end - pos : length - pos + 1);
        pos = end > 0 ? end + 2 : length + 1;
        if (TextFind(line, kSetCookieName, 1, true) < 1) {
            continue;
        }
        const Text cookie = TextRight(line, TextLength(line) - kSetCookieNameLength);
        // A cookie without ";" contributes only the ";", but is stored all the same. Appended
        // in place: a response with thousands of cookies is read in time linear in its size.
        received.text += TextBefore(cookie, ";");
        received.text += ";";
        const std::int32_t eq = TextFind(cookie, "=");
        if (eq > 0) {
            received.cookies.push_back({TextLeft(cookie, eq - 1), TextRight(cookie, TextLength(cookie) - eq)});
        } else {
            received.cookies.push_back({Text(), cookie});
        }
    }
    return received;
}

HttpRequestPlan PlanHttpRequest(const HttpRequestInput& input) {
    HttpRequestPlan plan;
    const bool secure = IsSecureAddress(input.address);
    plan.agent = AgentFromHeaders(input.headers);
    plan.direct = input.proxy.empty();
    if (!plan.direct) {
        // The proxy is named for the http scheme only.
        plan.proxyList = TextJoin(kProxyListPrefix, input.proxy);
    }
    plan.host = HostFromUrl(input.address);
    plan.port = ConnectPort(input.address);
    plan.method = input.method;
    plan.path = PathFromUrl(input.address);
    plan.flags = RequestFlagWord(secure, input.cookies, input.followRedirects);
    plan.headerBlock =
        RequestHeaderBlock(input.method, CompleteHeaders(input.headers, input.address), input.body, input.cookies);
    if (input.method == Text("POST")) {
        plan.sentBody = input.body;
    }
    plan.cookieAddress = TextJoin("http://", plan.host);
    return plan;
}

bool IsFollowedRedirect(std::int32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

Text RedirectTarget(const Text& base, const Text& location) {
    if (SchemeLength(location) > 0) {
        return location;
    }
    const std::int32_t schemeLength = SchemeLength(base);
    const bool secure = schemeLength == 8;
    if (TextLeft(location, 2) == Text("//")) {
        return TextJoin(secure ? "https:" : "http:", location);
    }
    // The base without its query and fragment, then its scheme and host, then its folder.
    Text path = base;
    for (const char* end : {"?", "#"}) {
        const std::int32_t at = TextFind(path, end, schemeLength + 1);
        if (at > 0) {
            path = TextLeft(path, at - 1);
        }
    }
    const std::int32_t hostEnd = TextFind(path, "/", schemeLength + 1);
    const Text origin = hostEnd > 0 ? TextLeft(path, hostEnd - 1) : path;
    if (TextLeft(location, 1) == Text("/")) {
        return TextJoin(origin, location);
    }
    std::int32_t lastSlash = -1;
    for (std::int32_t at = hostEnd; at > 0; at = TextFind(path, "/", at + 1)) {
        lastSlash = at;
    }
    return lastSlash > 0 ? TextJoin(TextLeft(path, lastSlash), location) : TextJoin(origin, "/", location);
}

HttpRequestInput RedirectedInput(const HttpRequestInput& hop, std::int32_t status, const Text& target) {
    HttpRequestInput next = hop;
    next.address = target;
    // The next request carries the same header lines, the Referer naming the first address
    // included; a caller who suppressed the Referer keeps it suppressed.
    if (TextFind(hop.headers, kRefererSuppressionMarker, 1, true) < 1) {
        next.headers = CompleteHeaders(hop.headers, hop.address);
    }
    if (status == 303 || ((status == 301 || status == 302) && hop.method == Text("POST"))) {
        next.method = "GET";
        next.body.clear();
    }
    return next;
}

}  // namespace ql
