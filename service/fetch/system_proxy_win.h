// The proxy the user has set for the system, read as the system's HTTP stack (WinINet) reads
// it for the current user: a manual proxy (per scheme or one for all) with its bypass list. An
// automatic configuration script is not evaluated: with one alone, connections go direct. It
// is read once when a fetch or an extraction starts, so a change takes effect at the next one.
#pragma once

#include <optional>
#include <string>

#include "service/fetch/fetch_url.h"
#include "service/fetch/system_proxy.h"

namespace ql::service {

struct SystemProxySetting {
    std::string proxyList;   // WinINet's ProxyServer value, or empty: no manual proxy
    std::string bypassList;  // its ProxyOverride value
};

// The current user's setting; all empty when no proxy is set or it cannot be read.
SystemProxySetting ReadSystemProxy();

// The proxy `target` goes through by `setting`; nothing: it is connected directly.
std::optional<ProxyEndpoint> SystemProxyFor(const SystemProxySetting& setting, const FetchUrl& target);

}  // namespace ql::service
