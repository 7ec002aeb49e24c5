// What the fetch tests share: the fixture's TLS site's certificate (QL_FIXTURE_TLS_CERT, PEM),
// trusted as a root beside the system's; the user's system proxy set for one test; and what
// the stand-in system proxy (upstream_proxy.py, QL_UPSTREAM_PROXY_PORT) was asked.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which they need.
#include <wincrypt.h>
#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/owned_socket_win.h"
#include "service/fetch/socket_io_win.h"
#include "service/fetch/tls_client_win.h"

namespace ql::service {

inline ExtraRoots TlsSiteRoot() {
    const char* pem = std::getenv("QL_FIXTURE_TLS_CERT");
    DWORD size = 0;
    if (!pem || !CryptStringToBinaryA(pem, 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) return {};
    std::string der(size, '\0');
    CryptStringToBinaryA(pem, 0, CRYPT_STRING_BASE64HEADER, reinterpret_cast<BYTE*>(der.data()), &size, nullptr,
                         nullptr);
    return {der};
}

// The user's setting for the length of one test: a manual proxy and its bypass list; the
// setting is taken away again however the test ends.
class SystemProxyForTest {
public:
    SystemProxyForTest(const std::wstring& server, const std::wstring& bypass) { Set(server, bypass); }
    ~SystemProxyForTest() { Set(L"", L""); }

private:
    static void Set(const std::wstring& server, const std::wstring& bypass) {
        INTERNET_PER_CONN_OPTIONW options[3] = {};
        options[0].dwOption = INTERNET_PER_CONN_FLAGS;
        options[0].Value.dwValue = PROXY_TYPE_DIRECT | (server.empty() ? 0 : PROXY_TYPE_PROXY);
        options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
        options[1].Value.pszValue = const_cast<wchar_t*>(server.c_str());
        options[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
        options[2].Value.pszValue = const_cast<wchar_t*>(bypass.c_str());
        INTERNET_PER_CONN_OPTION_LISTW list{};
        list.dwSize = sizeof list;
        list.dwOptionCount = 3;
        list.pOptions = options;
        EXPECT_TRUE(InternetSetOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, sizeof list));
        // Wine's WinINet keeps no bypass list it is given this way; the settings dialog writes
        // it to the registry, where WinINet reads it.
        EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                                  L"ProxyOverride", REG_SZ, bypass.c_str(),
                                  static_cast<DWORD>((bypass.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
};

inline std::string Port(const char* name) {
    const char* port = std::getenv(name);
    return port ? port : "1";
}

// What the upstream proxy was asked since the last question, asked of it directly.
inline std::vector<std::string> UpstreamSaw() {
    UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(std::stoi(Port("QL_UPSTREAM_PROXY_PORT"))));
    std::string answer;
    if (connect(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        SendAll(s.get(), "GET /seen HTTP/1.1\r\n\r\n", Clock::now() + kFetchTime)) {
        char buffer[4096];
        for (int got; (got = recv(s.get(), buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, static_cast<std::size_t>(got));
    }
    std::vector<std::string> lines;
    const std::string body = answer.substr(std::min(answer.size(), answer.find("\r\n\r\n") + 4));
    for (std::size_t at = 0; at < body.size();) {
        const std::size_t end = body.find('\n', at);
        lines.push_back(body.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

}  // namespace ql::service
