#include "service/fetch/system_proxy.h"
#include "service/fetch/address_filter.h"
#include "service/reading/ascii.h"

namespace ql::service {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The entries of a list: the runs between separators, empty ones skipped.
template <typename IsSeparator, typename Visit>
bool AnyEntry(std::string_view list, IsSeparator isSeparator, Visit visit) {
    std::size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && isSeparator(list[i]))
            ++i;
        std::size_t end = i;
        while (end < list.size() && !isSeparator(list[end]))
            ++end;
        if (end > i && visit(list.substr(i, end - i))) return true;
        i = end;
    }
    return false;
}

bool EqualsIgnoringCase(std::string_view s, std::string_view lower) {
    return s.size() == lower.size() && StartsWithIgnoringCase(s, lower);
}

std::string LowerCase(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = Lower(c);
    return out;
}

// 1 to 65535 in decimal digits; nothing for anything else, so a port that overflows or carries
// a sign never becomes some other port.
std::optional<int> ParsePort(std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    int port = 0;
    for (char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) return std::nullopt;
    return port;
}

// "host", "host:port", "[v6]:port", with "http://" or "https://" in front (the settings
// dialogs of some programs write the proxy as an address) and a trailing "/" allowed.
std::optional<ProxyEndpoint> ParseEndpoint(std::string_view text) {
    if (StartsWithIgnoringCase(text, "http://")) {
        text.remove_prefix(7);
    } else if (StartsWithIgnoringCase(text, "https://")) {
        text.remove_prefix(8);
    }
    if (!text.empty() && text.back() == '/') text.remove_suffix(1);
    std::string_view host = text;
    std::optional<std::string_view> portText;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = text.substr(1, close - 1);
        const auto ip = ParseIpAddress(host);
        if (!ip || !ip->v6) return std::nullopt;
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return std::nullopt;
            portText = rest.substr(1);
        }
    } else {
        const auto colon = text.find(':');
        if (colon != std::string_view::npos) {
            // A second colon is an IPv6 address without its brackets: which part would be
            // the port cannot be told.
            if (text.find(':', colon + 1) != std::string_view::npos) return std::nullopt;
            host = text.substr(0, colon);
            portText = text.substr(colon + 1);
        }
        if (host.empty()) return std::nullopt;
        for (char c : host) {
            if (!IsAlnum(c) && c != '-' && c != '.' && c != '_') return std::nullopt;
        }
    }
    ProxyEndpoint endpoint{LowerCase(host), 80};
    if (portText) {
        const auto port = ParsePort(*portText);
        if (!port) return std::nullopt;
        endpoint.port = *port;
    }
    return endpoint;
}

// '*' stands for any run of characters, every other character for itself. Greedy with one
// point to return to, so a hostile list costs at most the product of the two lengths.
bool WildcardMatches(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0;
    std::size_t star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::string_view WithoutTrailingDot(std::string_view s) {
    if (!s.empty() && s.back() == '.') s.remove_suffix(1);
    return s;
}

struct BypassTarget {
    std::string host;  // lower case, without brackets or a trailing dot
    std::optional<IpAddress> address;
    int port = 0;
    bool https = false;
};

bool EntryMatches(std::string_view entryText, const BypassTarget& target) {
    const std::string entry = LowerCase(entryText);
    std::string_view pattern = entry;
    if (pattern.front() == '<') {
        // A name without a dot is one the local network resolves; "localhost" is such a name,
        // while "::1" or "2130706433" are addresses, not names, whatever dots they lack.
        return pattern == "<local>" && !target.address && target.host.find('.') == std::string::npos;
    }
    const auto schemeEnd = pattern.find("://");
    if (schemeEnd != std::string_view::npos) {
        // An entry for a scheme other than http and https never applies to our fetches.
        if (pattern.substr(0, schemeEnd) != (target.https ? "https" : "http")) return false;
        pattern.remove_prefix(schemeEnd + 3);
    }
    std::string_view hostPattern = pattern;
    std::optional<std::string_view> portText;
    if (!pattern.empty() && pattern.front() == '[') {
        const auto close = pattern.find(']');
        if (close == std::string_view::npos) return false;
        hostPattern = pattern.substr(1, close - 1);
        const std::string_view rest = pattern.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return false;
            portText = rest.substr(1);
        }
    } else if (const auto colon = pattern.find(':');
               colon != std::string_view::npos && pattern.find(':', colon + 1) == std::string_view::npos) {
        // One colon parts host and port; more make an IPv6 address (or pattern) without brackets.
        hostPattern = pattern.substr(0, colon);
        portText = pattern.substr(colon + 1);
    }
    if (portText) {
        // A malformed port restricts the entry to no port at all rather than lifting the
        // restriction.
        const auto port = ParsePort(*portText);
        if (!port || *port != target.port) return false;
    }
    hostPattern = WithoutTrailingDot(hostPattern);
    if (hostPattern.empty()) return false;
    // IPv6 addresses have many spellings ("::1", "0:0::1"); two of them are compared as
    // addresses. IPv4 ones are compared as written, so that "192.168" stays the text it is and
    // never becomes the address 192.0.0.168 the resolvers would read it as.
    if (target.address && target.address->v6 && hostPattern.find('*') == std::string_view::npos) {
        const auto address = ParseIpAddress(hostPattern);
        if (address && address->v6 && address->bytes == target.address->bytes) return true;
    }
    return WildcardMatches(hostPattern, target.host);
}

}  // namespace

// A "socks=" entry is ignored: our fetches speak HTTP to a proxy, never SOCKS, so a setting
// that names only a SOCKS proxy gives no proxy and the fetch goes direct, as the system's HTTP
// stack does with it.
std::optional<ProxyEndpoint> ProxyFor(std::string_view proxyList, bool https) {
    std::optional<ProxyEndpoint> own, shared;
    AnyEntry(
        proxyList, [](char c) { return c == ';' || IsBlank(c); },
        [&](std::string_view entry) {
            const auto equals = entry.find('=');
            if (equals == std::string_view::npos) {
                if (!shared) shared = ParseEndpoint(entry);
            } else if (EqualsIgnoringCase(entry.substr(0, equals), https ? "https" : "http")) {
                if (!own) own = ParseEndpoint(entry.substr(equals + 1));
            }
            return false;
        });
    return own ? own : shared;
}

bool BypassesProxy(std::string_view bypassList, std::string_view host, int port, bool https) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    BypassTarget target{LowerCase(WithoutTrailingDot(host)), std::nullopt, port, https};
    if (target.host.empty()) return false;
    target.address = ParseIpAddress(target.host);
    return AnyEntry(
        bypassList, [](char c) { return c == ';' || c == ',' || IsBlank(c); },
        [&](std::string_view entry) { return EntryMatches(entry, target); });
}

}  // namespace ql::service
