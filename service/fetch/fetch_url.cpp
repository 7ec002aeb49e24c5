#include "service/fetch/fetch_url.h"
#include "service/reading/address_parts.h"
#include "service/reading/ascii.h"
#include "service/reading/page_address.h"

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
    // A backslash is a slash, as in a browser's address bar: "http://a.com\\evil/" is a.com's.
    std::string text(url);
    for (char& c : text) {
        if (c == '\\') c = '/';
    }
    const std::optional<AddressParts> parts = SplitAddress(text);
    if (!parts || (parts->scheme != "http" && parts->scheme != "https")) return std::nullopt;
    const std::string_view netloc = parts->netloc;
    // User information is a way to disguise the host; a colon promises a port.
    if (netloc.find('@') != std::string_view::npos) return std::nullopt;
    const std::size_t colon = netloc.rfind(':');
    const bool portGiven = colon != std::string_view::npos && netloc.find(']', colon) == std::string_view::npos;
    const std::optional<unsigned> port = PortOf(*parts);
    if (!port || (portGiven && *port == 0)) return std::nullopt;
    FetchUrl out;
    out.https = parts->scheme == "https";
    out.port = *port != 0 ? static_cast<int>(*port) : out.https ? 443 : 80;
    out.host = HostOf(*parts);
    if (out.host.empty()) return std::nullopt;
    for (char c : out.host) {
        if (static_cast<unsigned char>(c) <= ' ' || c == '%' || c == '/') return std::nullopt;
    }
    out.path = CleanPath(parts->query.empty() ? parts->path : parts->path + "?" + parts->query);
    return out;
}

std::optional<FetchUrl> FollowLocation(const FetchUrl& from, std::string_view location) {
    while (!location.empty() && static_cast<unsigned char>(location.front()) <= ' ')
        location.remove_prefix(1);
    while (!location.empty() && static_cast<unsigned char>(location.back()) <= ' ')
        location.remove_suffix(1);
    if (location.empty()) return std::nullopt;
    // Resolved as an address in a page is; any other scheme than http and https ("ftp:",
    // "file:", "javascript:") is not followed.
    const std::optional<std::string> to = AbsoluteAddress(location, from.Text());
    return to ? ParseFetchUrl(*to) : std::nullopt;
}

}  // namespace ql::service
