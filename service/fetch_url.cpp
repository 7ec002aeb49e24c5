#include "service/fetch_url.h"
#include "service/ascii.h"

namespace ql::service {

namespace {

// Blanks, controls, quotes, angle brackets and bytes outside ASCII percent-encoded; the
// fragment dropped; "/" when empty.
std::string CleanPath(std::string_view path) {
    path = path.substr(0, path.find('#'));
    std::string out;
    if (path.empty() || path[0] != '/') out.push_back('/');
    for (char c : path) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' || c == '`' ||
            c == '{' || c == '|' || c == '}') {
            AppendPercentEncoded(out, c);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace

std::string FetchUrl::HostHeader() const {
    std::string text = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    if (port != (https ? 443 : 80)) text += ":" + std::to_string(port);
    return text;
}

std::string FetchUrl::Text() const { return (https ? "https://" : "http://") + HostHeader() + path; }

std::optional<FetchUrl> ParseFetchUrl(std::string_view url) {
    while (!url.empty() && static_cast<unsigned char>(url.front()) <= ' ')
        url.remove_prefix(1);
    while (!url.empty() && static_cast<unsigned char>(url.back()) <= ' ')
        url.remove_suffix(1);
    FetchUrl out;
    if (StartsWithIgnoringCase(url, "https://")) {
        out.https = true;
        out.port = 443;
        url.remove_prefix(8);
    } else if (StartsWithIgnoringCase(url, "http://")) {
        url.remove_prefix(7);
    } else {
        return std::nullopt;
    }
    const std::size_t end = url.find_first_of("/?#\\");
    std::string_view authority = url.substr(0, end);
    const std::string_view rest = end == std::string_view::npos ? std::string_view() : url.substr(end);
    if (authority.find('@') != std::string_view::npos) return std::nullopt;
    std::string_view portText;
    if (!authority.empty() && authority[0] == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        out.host = std::string(authority.substr(1, close - 1));
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty() && after[0] != ':') return std::nullopt;
        if (!after.empty()) portText = after.substr(1);
        if (out.host.find(':') == std::string::npos) return std::nullopt;
    } else {
        const std::size_t colon = authority.find(':');
        out.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) portText = authority.substr(colon + 1);
        if (colon != std::string_view::npos && portText.empty()) return std::nullopt;
    }
    if (!portText.empty()) {
        if (portText.size() > 5) return std::nullopt;
        int port = 0;
        for (char c : portText) {
            if (c < '0' || c > '9') return std::nullopt;
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535) return std::nullopt;
        out.port = port;
    }
    if (out.host.empty()) return std::nullopt;
    for (char& c : out.host) {
        if (static_cast<unsigned char>(c) <= ' ' || c == '%' || c == '/') return std::nullopt;
        c = Lower(c);
    }
    std::string path(rest);
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    out.path = CleanPath(path);
    return out;
}

std::optional<FetchUrl> FollowLocation(const FetchUrl& from, std::string_view location) {
    while (!location.empty() && static_cast<unsigned char>(location.front()) <= ' ')
        location.remove_prefix(1);
    while (!location.empty() && static_cast<unsigned char>(location.back()) <= ' ')
        location.remove_suffix(1);
    if (location.empty()) return std::nullopt;
    if (StartsWithIgnoringCase(location, "http://") || StartsWithIgnoringCase(location, "https://")) {
        return ParseFetchUrl(location);
    }
    // Any other scheme ("ftp:", "file:", "javascript:") is not followed.
    const std::size_t colon = location.find(':');
    const std::size_t delimiter = location.find_first_of("/?#");
    if (colon != std::string_view::npos && (delimiter == std::string_view::npos || colon < delimiter)) {
        return std::nullopt;
    }
    if (location.substr(0, 2) == "//") {
        return ParseFetchUrl(std::string(from.https ? "https:" : "http:") + std::string(location));
    }
    FetchUrl to = from;
    if (location[0] == '/') {
        to.path = CleanPath(location);
    } else if (location[0] == '?') {
        to.path = from.path.substr(0, from.path.find('?')) + CleanPath(location).substr(1);
    } else if (location[0] == '#') {
        // Same document.
    } else {
        const std::string base = from.path.substr(0, from.path.find('?'));
        to.path = base.substr(0, base.rfind('/') + 1) + CleanPath(location).substr(1);
    }
    // "." and ".." segments of the path are removed.
    const std::size_t query = to.path.find('?');
    std::string_view path = std::string_view(to.path).substr(0, query);
    const std::string tail = query == std::string::npos ? std::string() : to.path.substr(query);
    std::string out;
    while (!path.empty()) {
        path.remove_prefix(1);  // the "/"
        const std::size_t slash = path.find('/');
        const std::string_view segment = path.substr(0, slash);
        const bool last = slash == std::string_view::npos;
        if (segment == "..") {
            const std::size_t cut = out.rfind('/');
            out.erase(cut == std::string::npos ? 0 : cut);
            if (last) out += "/";
        } else if (segment == ".") {
            if (last) out += "/";
        } else {
            out += "/";
            out += segment;
        }
        if (last) break;
        path.remove_prefix(slash);
    }
    to.path = (out.empty() ? "/" : out) + tail;
    return to;
}

}  // namespace ql::service
