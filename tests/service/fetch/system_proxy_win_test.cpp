// The service's fetches behind the user's system proxy, set as a user sets it (the prefix's
// per-connection proxy options) and pointing at upstream_proxy.py on 127.0.0.1
// (QL_UPSTREAM_PROXY_PORT), which records what it is asked and resolves every name itself:
// which hosts go through it by name, which go direct, which reach neither it nor the target.
#include "service/fetch/system_proxy_win.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/owned_socket_win.h"
#include "service/fetch/page_fetch_win.h"
#include "tests/service/fetch/fetch_test_support_win.h"

namespace ql::service {
namespace {

struct Winsock : testing::Environment {
    WinsockScope scope;
};
const auto* const kWinsock = testing::AddGlobalTestEnvironment(new Winsock);

TEST(SystemProxyWin, EachKindOfHostWithAndWithoutAProxy) {
    const std::string site = Port("QL_FIXTURE_PORT");
    // Names the test's lookup answers "here": public ones at 127.0.0.1, a private one at
    // 127.0.0.2; far.* resolves nowhere here. Only 127.0.0.1 is public for the judge.
    const LookupFunction lookup = [](const std::string& host, int port, Clock::time_point deadline, std::string* why) {
        if (host.rfind("far.", 0) == 0 || host.rfind("auth.", 0) == 0 || host.rfind("silent.", 0) == 0) {
            if (why) *why = "no address for " + host;
            return std::vector<SocketAddress>();
        }
        const bool named = host.find("fixture-site.net") != std::string::npos;
        return Lookup(named ? (host.rfind("inner.", 0) == 0 ? "127.0.0.2" : "127.0.0.1") : host, port, deadline, why);
    };
    const AddressJudge judge = [](const IpAddress& ip) { return !ip.v6 && ip.bytes[3] == 1 && ip.bytes[0] == 127; };
    const struct {
        std::string path;      // on the fixture site's port
        bool fetched;          // with the proxy set
        const char* upstream;  // what the proxy is asked, or nullptr: nothing
        const char* why;       // when not fetched
    } rows[] = {
        {"http://videos.fixture-site.net:{P}/pages/no-media.html", true,
         "GET http://videos.fixture-site.net:{P}/pages/no-media.html", ""},
        {"http://direct.fixture-site.net:{P}/pages/no-media.html", true, nullptr, ""},
        {"http://far.fixture-site.net:{P}/pages/no-media.html", true,
         "GET http://far.fixture-site.net:{P}/pages/no-media.html", ""},
        {"http://inner.fixture-site.net:{P}/", false, nullptr, "not public"},
        {"http://10.1.2.3:{P}/", false, nullptr, ""},
        {"http://intranet:{P}/", false, nullptr, "local or reserved"},
        {"http://auth.fixture-site.net:{P}/", false, "GET http://auth.fixture-site.net:{P}/", "HTTP 407"},
        {"https://auth.fixture-site.net:{P}/", false, "CONNECT auth.fixture-site.net:{P}", "credentials"},
        {"http://silent.fixture-site.net:{P}/", false, "GET http://silent.fixture-site.net:{P}/", ""},
    };
    const std::wstring upstream =
        L"127.0.0.1:" + std::wstring(Port("QL_UPSTREAM_PROXY_PORT").begin(), Port("QL_UPSTREAM_PROXY_PORT").end());
    UpstreamSaw();
    for (const bool proxySet : {true, false}) {
        std::optional<SystemProxyForTest> setting;
        if (proxySet) setting.emplace(L"http=" + upstream + L";https=" + upstream, L"direct.fixture-site.net;<local>");
        EXPECT_EQ(ReadSystemProxy().proxyList.empty(), !proxySet);
        for (const auto& row : rows) {
            std::string address = row.path;
            address.replace(address.find("{P}"), 3, site);
            SystemPageFetcher fetcher(false, lookup, judge);
            std::string why;
            // A short deadline where the fetch is to fail (the silent proxy is cut at it).
            const auto deadline = Clock::now() + (row.fetched ? kFetchTime : std::chrono::seconds(3));
            const bool fetched = fetcher.Fetch(address, deadline, &why).has_value();
            const std::vector<std::string> saw = UpstreamSaw();
            if (!proxySet) {
                // Direct as ever: the names the test's lookup answers are fetched, the rest refused.
                EXPECT_TRUE(saw.empty()) << address;
                continue;
            }
            EXPECT_EQ(fetched, row.fetched) << address << ": " << why;
            if (!fetched) EXPECT_NE(why.find(row.why), std::string::npos) << address << ": " << why;
            std::string want = row.upstream ? row.upstream : "";
            if (!want.empty()) want.replace(want.find("{P}"), 3, site);
            EXPECT_EQ(saw, row.upstream ? std::vector<std::string>{want} : std::vector<std::string>()) << address;
        }
    }
}

// An https page through the system proxy: a tunnel by name, the TLS spoken inside it.
TEST(SystemProxyWin, HttpsThroughATunnelByName) {
    const char* tlsPort = std::getenv("QL_FIXTURE_TLS_PORT");
    if (!tlsPort) GTEST_SKIP() << "no TLS site (openssl is missing)";
    const std::string proxy = Port("QL_UPSTREAM_PROXY_PORT");
    SystemProxyForTest setting(L"127.0.0.1:" + std::wstring(proxy.begin(), proxy.end()), L"");
    UpstreamSaw();
    SystemPageFetcher fetcher(true, Lookup, IsPublicAddress, TlsSiteRoot());
    std::string why;
    const std::string address = std::string("https://tls.test:") + tlsPort + "/watch?x=1";
    const auto page = fetcher.Fetch(address, Clock::now() + kFetchTime, &why);
    ASSERT_TRUE(page.has_value()) << why;
    EXPECT_EQ(page->body.size(), 100000u);
    EXPECT_EQ(UpstreamSaw(), std::vector<std::string>{std::string("CONNECT tls.test:") + tlsPort});
}

}  // namespace
}  // namespace ql::service
