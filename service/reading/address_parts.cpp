#include "service/reading/address_parts.h"
#include "service/reading/ascii.h"

#include <array>
#include <vector>

namespace ql::service {

namespace {

// Schemes whose addresses are resolved relative to a base, and those with a host part.
constexpr std::array<std::string_view, 19> kRelativeSchemes{"",     "ftp",      "http", "gopher", "nntp",
                                                            "imap", "wais",     "file", "https",  "shttp",
                                                            "mms",  "prospero", "rtsp", "rtspu",  "sftp",
                                                            "svn",  "svn+ssh",  "ws",   "wss"};
constexpr std::array<std::string_view, 25> kNetlocSchemes{"",       "ftp",   "http",    "gopher",   "nntp",
                                                          "telnet", "imap",  "wais",    "file",     "mms",
                                                          "https",  "shttp", "snews",   "prospero", "rtsp",
                                                          "rtspu",  "rsync", "svn",     "svn+ssh",  "sftp",
                                                          "nfs",    "git",   "git+ssh", "ws",       "wss"};

// An IPv4 address in four decimal parts without leading zeros.
bool IsIpv4(std::string_view s) {
    int parts = 0;
    while (true) {
        std::size_t n = 0;
        int value = 0;
        while (n < s.size() && IsDigit(s[n]) && n < 4)
            value = value * 10 + (s[n++] - '0');
        if (n == 0 || n > 3 || value > 255 || (n > 1 && s[0] == '0')) return false;
        ++parts;
        s.remove_prefix(n);
        if (s.empty()) return parts == 4;
        if (s[0] != '.' || parts == 4) return false;
        s.remove_prefix(1);
    }
}

// An IPv6 address (an IPv4 address may end it; a zone after "%" is allowed).
bool IsIpv6(std::string_view s) {
    const std::size_t percent = s.find('%');
    if (percent != std::string_view::npos) {
        if (percent + 1 == s.size()) return false;
        s = s.substr(0, percent);
    }
    int groups = 0;
    bool gap = false;
    if (s.substr(0, 2) == "::") {
        gap = true;
        s.remove_prefix(2);
        if (s.empty()) return true;
    }
    while (true) {
        std::size_t n = 0;
        while (n < s.size() && IsHex(s[n]))
            ++n;
        if (n < s.size() && s[n] == '.') {
            if (!IsIpv4(s)) return false;
            groups += 2;
            break;
        }
        if (n == 0 || n > 4) return false;
        ++groups;
        s.remove_prefix(n);
        if (s.empty()) break;
        if (s.substr(0, 2) == "::") {
            if (gap) return false;
            gap = true;
            s.remove_prefix(2);
            if (s.empty()) break;
        } else if (s[0] == ':') {
            s.remove_prefix(1);
            if (s.empty()) return false;
        } else {
            return false;
        }
    }
    return gap ? groups <= 7 : groups == 8;
}

bool BracketedHostValid(std::string_view host) {
    if (!host.empty() && host[0] == 'v') {
        // "v", hex digits, ".", then anything.
        std::size_t i = 1;
        while (i < host.size() && IsHex(host[i]))
            ++i;
        return i > 1 && i + 1 < host.size() && host[i] == '.';
    }
    return IsIpv6(host);
}

std::vector<std::string_view> SplitSlash(std::string_view path) {
    std::vector<std::string_view> parts;
    while (true) {
        const std::size_t slash = path.find('/');
        parts.push_back(path.substr(0, slash));
        if (slash == std::string_view::npos) return parts;
        path.remove_prefix(slash + 1);
    }
}

// What follows the first `mark` in `rest` (empty without one); `rest` keeps what is before it.
std::string CutAfter(std::string_view& rest, char mark) {
    const std::size_t at = rest.find(mark);
    if (at == std::string_view::npos) return std::string();
    std::string after(rest.substr(at + 1));
    rest = rest.substr(0, at);
    return after;
}

// The host and the port of a netloc, after any user information. A host in brackets (an
// IPv6 address) runs to the closing bracket, and the port follows the first ":" after it;
// without a closing bracket there is no port.
struct NetlocParts {
    std::string_view host, port;
};

NetlocParts SplitNetloc(std::string_view info) {
    const std::size_t at = info.rfind('@');
    if (at != std::string_view::npos) info.remove_prefix(at + 1);
    NetlocParts out;
    std::string_view afterHost = info;
    const std::size_t open = info.find('[');
    if (open != std::string_view::npos) {
        const std::size_t close = info.find(']', open);
        out.host = info.substr(open + 1, close == std::string_view::npos ? close : close - open - 1);
        afterHost = close == std::string_view::npos ? std::string_view() : info.substr(close + 1);
    }
    const std::size_t colon = afterHost.find(':');
    if (open == std::string_view::npos) out.host = info.substr(0, colon);
    if (colon != std::string_view::npos) out.port = afterHost.substr(colon + 1);
    return out;
}

}  // namespace

std::optional<AddressParts> SplitAddress(std::string_view address) {
    std::string url;
    url.reserve(address.size());
    for (char c : address) {
        if (c != '\t' && c != '\r' && c != '\n') url.push_back(c);
    }
    std::size_t lead = 0;
    while (lead < url.size() && static_cast<unsigned char>(url[lead]) <= 0x20)
        ++lead;
    std::string_view rest(url);
    rest.remove_prefix(lead);
    AddressParts parts;
    const std::size_t colon = rest.find(':');
    if (colon != std::string_view::npos && colon > 0 && IsAlpha(rest[0])) {
        bool scheme = true;
        for (char c : rest.substr(0, colon)) {
            scheme = scheme && (IsAlpha(c) || IsDigit(c) || c == '+' || c == '-' || c == '.');
        }
        if (scheme) {
            for (char c : rest.substr(0, colon))
                parts.scheme.push_back(Lower(c));
            rest.remove_prefix(colon + 1);
        }
    }
    if (rest.substr(0, 2) == "//") {
        const std::size_t end = rest.find_first_of("/?#", 2);
        parts.netloc = std::string(rest.substr(2, end == std::string_view::npos ? end : end - 2));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
        const std::size_t open = parts.netloc.find('['), close = parts.netloc.find(']');
        if ((open == std::string::npos) != (close == std::string::npos)) return std::nullopt;
        if (open != std::string::npos) {
            const std::size_t end2 = parts.netloc.find(']', open);
            const std::string_view host =
                std::string_view(parts.netloc)
                    .substr(open + 1, end2 == std::string::npos ? std::string::npos : end2 - open - 1);
            if (!BracketedHostValid(host)) return std::nullopt;
        }
    }
    parts.fragment = CutAfter(rest, '#');
    parts.query = CutAfter(rest, '?');
    parts.path = std::string(rest);
    return parts;
}

std::string JoinAddress(const AddressParts& parts) {
    std::string url = parts.path;
    if (!parts.netloc.empty() ||
        (!parts.scheme.empty() && OneOf(parts.scheme, kNetlocSchemes) && url.compare(0, 2, "//") != 0)) {
        if (!url.empty() && url[0] != '/') url.insert(0, "/");
        url.insert(0, "//" + parts.netloc);
    }
    if (!parts.scheme.empty()) url.insert(0, parts.scheme + ":");
    if (!parts.query.empty()) url += "?" + parts.query;
    if (!parts.fragment.empty()) url += "#" + parts.fragment;
    return url;
}

std::string HostOf(const AddressParts& parts) {
    const std::string_view host = SplitNetloc(parts.netloc).host;
    std::string out;
    bool zone = false;
    for (char c : host) {
        zone = zone || c == '%';
        out.push_back(zone ? c : Lower(c));
    }
    return out;
}

std::optional<std::string> ResolveReference(std::string_view base, std::string_view url) {
    const std::optional<AddressParts> b = SplitAddress(base);
    const std::optional<AddressParts> u = SplitAddress(url);
    if (!b || !u) return std::nullopt;
    AddressParts out = *u;
    if (out.scheme.empty()) out.scheme = b->scheme;
    if (out.scheme != b->scheme || !OneOf(out.scheme, kRelativeSchemes)) return std::string(url);
    if (OneOf(out.scheme, kNetlocSchemes)) {
        if (!out.netloc.empty()) return JoinAddress(out);
        out.netloc = b->netloc;
    }
    if (out.path.empty()) {
        out.path = b->path;
        if (out.query.empty()) out.query = b->query;
        return JoinAddress(out);
    }
    std::vector<std::string_view> baseParts = SplitSlash(b->path);
    if (!baseParts.back().empty()) baseParts.pop_back();
    std::vector<std::string_view> segments;
    const std::vector<std::string_view> pathParts = SplitSlash(u->path);
    if (u->path[0] == '/') {
        segments = pathParts;
    } else {
        segments = baseParts;
        segments.insert(segments.end(), pathParts.begin(), pathParts.end());
        // Empty segments between the first and the last are dropped.
        std::vector<std::string_view> kept{segments.front()};
        for (std::size_t i = 1; i + 1 < segments.size(); ++i) {
            if (!segments[i].empty()) kept.push_back(segments[i]);
        }
        if (segments.size() > 1) kept.push_back(segments.back());
        segments = std::move(kept);
    }
    std::vector<std::string_view> resolved;
    for (std::string_view segment : segments) {
        if (segment == "..") {
            if (!resolved.empty()) resolved.pop_back();
        } else if (segment != ".") {
            resolved.push_back(segment);
        }
    }
    if (segments.back() == "." || segments.back() == "..") resolved.emplace_back();
    std::string path;
    for (std::size_t i = 0; i < resolved.size(); ++i) {
        if (i > 0) path.push_back('/');
        path.append(resolved[i]);
    }
    out.path = path.empty() ? "/" : path;
    return JoinAddress(out);
}

std::optional<unsigned> PortOf(const AddressParts& parts) {
    const std::string_view port = SplitNetloc(parts.netloc).port;
    if (port.empty()) return 0u;
    unsigned value = 0;
    for (char c : port) {
        if (!IsDigit(c)) return std::nullopt;
        value = value > 65535 ? value : value * 10 + (c - '0');
    }
    if (value > 65535) return std::nullopt;
    return value;
}

}  // namespace ql::service
