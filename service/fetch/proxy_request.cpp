#include "service/fetch/proxy_request.h"

#include "service/reading/ascii.h"

namespace ql::service {

std::optional<ProxyRequest> ParseProxyRequestLine(std::string_view line) {
    const std::size_t methodEnd = line.find(' ');
    const std::size_t targetEnd = line.rfind(' ');
    if (methodEnd == std::string_view::npos || methodEnd == 0 || targetEnd <= methodEnd + 1 ||
        !StartsWithIgnoringCase(line.substr(targetEnd + 1), "http/1.")) {
        return std::nullopt;
    }
    ProxyRequest request;
    request.method = std::string(line.substr(0, methodEnd));
    for (char c : request.method) {
        if (!IsAlpha(c)) return std::nullopt;
    }
    const std::string_view target = line.substr(methodEnd + 1, targetEnd - methodEnd - 1);
    if (target.find_first_of(" \t") != std::string_view::npos) return std::nullopt;
    request.tunnel = request.method == "CONNECT";
    std::optional<FetchUrl> url;
    if (request.tunnel) {
        // An authority alone: what would make it an address (a path, a query, user
        // information) makes it no tunnel's.
        if (target.find_first_of("/?#@") != std::string_view::npos || target.find(':') == std::string_view::npos) {
            return std::nullopt;
        }
        url = ParseFetchUrl("http://" + std::string(target) + "/");
        if (url) url->path.clear();
    } else if (StartsWithIgnoringCase(target, "http://")) {
        url = ParseFetchUrl(target);
    }
    if (!url) return std::nullopt;
    request.target = std::move(*url);
    return request;
}

}  // namespace ql::service
