#include "service/server/own_service.h"

#include "service/fetch/fetch_url.h"

namespace ql::service {

std::optional<int> OwnServicePort(const std::string& base) {
    const std::optional<FetchUrl> url = ParseFetchUrl(base);
    if (!url || url->https || (url->host != "127.0.0.1" && url->host != "localhost")) return std::nullopt;
    return url->port;
}

OwnServiceStep NextOwnServiceStep(const OwnServiceFacts& facts, const std::function<bool()>& addressFree) {
    if (facts.servingFromThread) return OwnServiceStep::kServed;
    if (facts.childRunning) return OwnServiceStep::kAwaitChild;
    if (!addressFree()) return OwnServiceStep::kLeave;
    return facts.helperBeside ? OwnServiceStep::kStartChild : OwnServiceStep::kServeFromThread;
}

std::string OwnServiceArguments(int port, bool allowPrivate) {
    return "--port " + std::to_string(port) + " --quiet" + (allowPrivate ? " --allow-private" : "");
}

}  // namespace ql::service
