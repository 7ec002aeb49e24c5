#include "service/reading/page_address.h"
#include "service/reading/ascii.h"

#include <array>
#include <vector>

#include "service/reading/address_parts.h"
#include "service/reading/idna.h"
#include "text/codepage.h"

namespace ql::service {

namespace {

constexpr std::array<std::string_view, 11> kMediaExtensions{"mp4", "m4v", "webm", "ogv",  "flv", "mov",
                                                            "mkv", "mp3", "m4a",  "m3u8", "mpd"};
constexpr std::array<std::string_view, 9> kPageExtensions{"swf", "html", "htm",  "shtml", "shtm",
                                                          "php", "asp",  "aspx", "jsp"};
constexpr std::array<std::string_view, 5> kManifestTypes{"application/vnd.apple.mpegurl", "application/x-mpegurl",
                                                         "audio/mpegurl", "audio/x-mpegurl", "application/dash+xml"};
// Characters kept as they are besides letters, digits and "_.-~".
constexpr std::string_view kNetlocSafe = ":@[]%!$&'()*+,;=";
constexpr std::string_view kPathSafe = "/%:@!$&'()*+,;=";
constexpr std::string_view kQuerySafe = "/%:@!$&'()*+,;=?";
// Generic second-level names under which a site's name has three labels (www.example.com.cn).
constexpr std::array<std::string_view, 9> kGenericSecondLevel{"com", "net", "org", "gov", "edu",
                                                              "co",  "ac",  "ne",  "or"};

bool IsAscii(std::string_view s) {
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

bool EndsWithNoCase(std::string_view s, std::string_view lowerTail) {
    if (s.size() < lowerTail.size()) return false;
    s.remove_prefix(s.size() - lowerTail.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (Lower(s[i]) != lowerTail[i]) return false;
    }
    return true;
}

template <std::size_t N>
bool PathEndsWithExtension(std::string_view path, const std::array<std::string_view, N>& extensions) {
    for (std::string_view ext : extensions) {
        if (path.size() > ext.size() && path[path.size() - ext.size() - 1] == '.' && EndsWithNoCase(path, ext)) {
            return true;
        }
    }
    return false;
}

std::string Quote(std::string_view bytes, std::string_view safe) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (IsAlpha(c) || IsDigit(c) || c == '_' || c == '.' || c == '-' || c == '~' ||
            (u < 0x80 && safe.find(c) != std::string_view::npos)) {
            out.push_back(c);
        } else {
            AppendPercentEncoded(out, c);
        }
    }
    return out;
}

}  // namespace

std::optional<std::string> AbsoluteAddress(std::string_view ref, std::string_view base, PageCharset charset) {
    std::string cleaned;
    for (char c : ref) {
        if (c != '\t' && c != '\n' && c != '\r') cleaned.push_back(c);
    }
    std::string_view r(cleaned);
    while (!r.empty() && static_cast<unsigned char>(r.front()) <= 0x20)
        r.remove_prefix(1);
    while (!r.empty() && static_cast<unsigned char>(r.back()) <= 0x20)
        r.remove_suffix(1);
    if (r.empty()) return std::nullopt;
    const std::optional<std::string> joined = ResolveReference(base, r);
    if (!joined) return std::nullopt;
    std::optional<AddressParts> parts = SplitAddress(*joined);
    if (!parts || (parts->scheme != "http" && parts->scheme != "https")) return std::nullopt;
    const std::string host = HostOf(*parts);
    if (host.empty()) return std::nullopt;
    std::string netloc = parts->netloc;
    if (!IsAscii(netloc)) {
        const std::optional<std::string> ascii = HostToAscii(host);
        const std::optional<unsigned> port = PortOf(*parts);
        if (!ascii || !port) return std::nullopt;
        netloc = *ascii + (*port ? ":" + std::to_string(*port) : std::string());
    }
    parts->netloc = Quote(netloc, kNetlocSafe);
    const std::optional<std::string> query = EncodeInCharset(parts->query, charset);
    parts->query = Quote(query ? *query : parts->query, kQuerySafe);
    parts->path = Quote(parts->path.empty() ? std::string_view("/") : std::string_view(parts->path), kPathSafe);
    parts->fragment = Quote(parts->fragment, kQuerySafe);
    return JoinAddress(*parts);
}

bool HasMediaExtension(std::string_view address) {
    const std::optional<AddressParts> parts = SplitAddress(address);
    return parts && PathEndsWithExtension(parts->path, kMediaExtensions);
}

bool HasPagePath(std::string_view address) {
    const std::optional<AddressParts> parts = SplitAddress(address);
    return parts && PathEndsWithExtension(parts->path, kPageExtensions);
}

bool IsMediaType(std::string_view type) {
    return type.substr(0, 6) == "video/" || type.substr(0, 6) == "audio/" || OneOf(type, kManifestTypes);
}

namespace {

std::string SiteOf(std::string_view address) {
    const std::optional<AddressParts> parts = SplitAddress(address);
    std::string host = parts ? HostOf(*parts) : std::string();
    while (!host.empty() && host.back() == '.')
        host.pop_back();
    std::vector<std::string_view> labels;
    std::string_view rest(host);
    while (true) {
        const std::size_t dot = rest.find('.');
        labels.push_back(rest.substr(0, dot));
        if (dot == std::string_view::npos) break;
        rest.remove_prefix(dot + 1);
    }
    bool numeric = !host.empty();
    for (char c : host)
        numeric = numeric && (IsDigit(c) || c == '.');
    if (numeric || host.find(':') != std::string::npos || labels.size() < 3) return host;
    const std::size_t keep = OneOf(labels[labels.size() - 2], kGenericSecondLevel) ? 3 : 2;
    std::string site;
    for (std::size_t i = labels.size() - keep; i < labels.size(); ++i) {
        if (!site.empty()) site.push_back('.');
        site.append(labels[i]);
    }
    return site;
}

}  // namespace

bool SameSite(std::string_view a, std::string_view b) { return SiteOf(a) == SiteOf(b); }

std::optional<std::string> TypedAddress(std::string_view typed) {
    const std::string utf8 = IsValidUtf8(typed) ? std::string(typed) : Utf16ToUtf8(DecodeCodePage(kCodePageGbk, typed));
    const std::string_view text = TrimUnicodeSpace(utf8);
    if (text.empty()) return std::nullopt;
    // A scheme: a letter, then letters, digits, "+", "." or "-", then ":".
    std::size_t i = 0;
    bool scheme = !text.empty() && IsAlpha(text[0]);
    if (scheme) {
        i = 1;
        while (i < text.size() &&
               (IsAlpha(text[i]) || IsDigit(text[i]) || text[i] == '+' || text[i] == '.' || text[i] == '-')) {
            ++i;
        }
        scheme = i < text.size() && text[i] == ':';
    }
    // "host:port" with nothing or a path, query or fragment after the port.
    const std::size_t colon = text.find_first_of(":/");
    bool hostPort = colon != std::string_view::npos && colon > 0 && text[colon] == ':';
    if (hostPort) {
        std::size_t j = colon + 1;
        while (j < text.size() && IsDigit(text[j]))
            ++j;
        hostPort = j > colon + 1 && (j == text.size() || text[j] == '/' || text[j] == '?' || text[j] == '#');
    }
    const std::string address = (!scheme || hostPort ? "http://" : "") + std::string(text);
    return AbsoluteAddress(address, address);
}

}  // namespace ql::service
