#include "web/url.h"

namespace ql {

std::int32_t SchemeLength(const Text& url) {
    const Text head = TextLower(TextLeft(url, 8));
    if (head == Text("https://")) {
        return 8;
    }
    return TextLeft(head, 7) == Text("http://") ? 7 : 0;
}

Text WithoutUserInfo(const Text& hostPart) {
    std::int32_t at = 0;
    for (std::int32_t p = TextFind(hostPart, "@"); p > 0; p = TextFind(hostPart, "@", p + 1)) {
        at = p;
    }
    return at > 0 ? TextRight(hostPart, TextLength(hostPart) - at) : hostPart;
}

Text HostFromUrl(const Text& url) {
    // The scheme texts go first, everywhere in the address and in any case; the path is cut
    // only after that, so a second address in the query cannot change which host is found.
    Text host = TextReplace(TextReplace(url, "https://", "", std::nullopt, std::nullopt, true), "http://", "",
                            std::nullopt, std::nullopt, true);
    const std::int32_t slash = TextFind(host, "/");
    if (slash > 0) {
        host = TextLeft(host, slash - 1);
    }
    // "user:pw@host": the host is what follows the "@", and the ":" of the password is no port.
    host = WithoutUserInfo(host);
    const std::int32_t colon = TextFind(host, ":");
    if (colon > 0) {
        host = TextLeft(host, colon - 1);
    }
    return TextLower(host);
}

Text PathFromUrl(const Text& url) {
    // The host is looked for after the scheme (and after a user name and password): a host
    // whose name also occurs in the scheme text ("http://t/x", "http://p/") would otherwise
    // be found inside "http", and the path would start at the scheme's own slashes. The host
    // comes back in lower case, so it is looked for without regard to case.
    std::int32_t afterScheme = SchemeLength(url) + 1;
    const std::int32_t firstSlash = TextFind(url, "/", afterScheme);
    for (std::int32_t at = TextFind(url, "@", afterScheme); at > 0 && (firstSlash < 0 || at < firstSlash);
         at = TextFind(url, "@", at + 1)) {
        afterScheme = at + 1;
    }
    std::int32_t h = TextFind(url, HostFromUrl(url), afterScheme, true);
    if (h == -1) {
        h = afterScheme;  // an empty host
    }
    const std::int32_t s = TextFind(url, "/", h);
    if (s > 0) {
        return TextRight(url, TextLength(url) - s + 1);
    }
    return "/";
}

std::optional<std::int64_t> WrittenPort(const Text& url, std::int32_t skip) {
    const std::int32_t slash = TextFind(url, "/", skip + 1);
    const Text hostPart =
        WithoutUserInfo(slash > 0 ? TextMid(url, skip + 1, slash - skip - 1) : TextRight(url, TextLength(url) - skip));
    const std::int32_t colon = TextFind(hostPart, ":");
    if (colon < 1) {
        return std::nullopt;
    }
    return TruncateToInteger(TextToNumber(TextRight(hostPart, TextLength(hostPart) - colon)));
}

std::int32_t PortFromUrl(const Text& url) {
    // Only "http://" is skipped: before a secure address's host part stands "https:", which
    // has a ":" and no number after it.
    const std::int64_t port = WrittenPort(url, SchemeLength(url) == 7 ? 7 : 0).value_or(80);
    // The low 32 bits of the truncated number, as every position or count computed in real
    // arithmetic is taken.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(port));
}

Text TextBefore(const Text& text, const Text& delimiter, std::optional<std::int32_t> start, bool ignoreCase) {
    const std::int32_t from = (!start || *start < 1) ? 1 : *start;
    const std::int32_t p = TextFind(text, delimiter, from, ignoreCase);
    if (p < 1) {
        return Text();
    }
    return TextLeft(text, p - 1);
}

}  // namespace ql
