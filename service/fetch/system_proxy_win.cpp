#include "service/fetch/system_proxy_win.h"

#include <windows.h>
#include <wininet.h>

#include "base/owned_win.h"

namespace ql::service {

namespace {

std::string Narrow(const wchar_t* wide) {
    std::string out;
    for (; wide && *wide; ++wide) {
        // The setting's names and addresses are ASCII; anything else makes no host.
        out.push_back(*wide < 0x80 ? static_cast<char>(*wide) : '?');
    }
    return out;
}

void FreeGlobalText(wchar_t* text) noexcept { GlobalFree(text); }
using UniqueGlobalText = UniqueHandle<wchar_t*, FreeGlobalText>;

}  // namespace

SystemProxySetting ReadSystemProxy() {
    INTERNET_PER_CONN_OPTIONW options[3] = {};
    options[0].dwOption = INTERNET_PER_CONN_FLAGS;
    options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
    options[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
    INTERNET_PER_CONN_OPTION_LISTW list{};
    list.dwSize = sizeof list;
    list.dwOptionCount = 3;
    list.pOptions = options;
    DWORD size = sizeof list;
    SystemProxySetting setting;
    if (!InternetQueryOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size)) return setting;
    const UniqueGlobalText server(options[1].Value.pszValue), bypass(options[2].Value.pszValue);
    const DWORD flags = options[0].Value.dwValue;
    if (flags & PROXY_TYPE_PROXY) {
        setting.proxyList = Narrow(server.get());
        setting.bypassList = Narrow(bypass.get());
    }
    return setting;
}

std::optional<ProxyEndpoint> SystemProxyFor(const SystemProxySetting& setting, const FetchUrl& target) {
    if (setting.proxyList.empty() || BypassesProxy(setting.bypassList, target.host, target.port, target.https)) {
        return std::nullopt;
    }
    return ProxyFor(setting.proxyList, target.https);
}

}  // namespace ql::service
