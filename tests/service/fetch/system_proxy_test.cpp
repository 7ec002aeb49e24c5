// The system's proxy settings as the system's HTTP stacks read them: a fetch that takes the
// wrong proxy, or goes through one for a host the user meant to reach directly, fails or leaks
// the address to a machine that should not see it.
#include "service/fetch/system_proxy.h"

#include <gtest/gtest.h>

namespace ql::service {
namespace {

TEST(SystemProxy, ProxyForTakesTheSchemesOwnEntry) {
    const struct {
        const char* list;
        bool https;
        const char* host;  // nullptr: no proxy
        int port;
    } rows[] = {
        {"proxy.corp:8080", false, "proxy.corp", 8080},
        {"proxy.corp:8080", true, "proxy.corp", 8080},
        {"http=web:81;https=secure:82", false, "web", 81},
        {"http=web:81;https=secure:82", true, "secure", 82},
        {"http=web:81", true, nullptr, 0},
        {"HTTPS=Secure.Corp:82", true, "secure.corp", 82},
        {"all:3128;https=secure:82", true, "secure", 82},
        {"https=secure:82;all:3128", false, "all", 3128},
        {"ftp=f:21;socks=s:1080;all:3128", false, "all", 3128},
        {"socks=s:1080", false, nullptr, 0},
        {"socks=s:1080", true, nullptr, 0},
        {"  http=web:81 \t https=secure:82 ;; ", true, "secure", 82},
        {"http=http://web:81", false, "web", 81},
        {"HTTPS://proxy:8443/", true, "proxy", 8443},
        {"proxy", false, "proxy", 80},
        {"https=secure", true, "secure", 80},
        {"[2001:DB8::1]:8080", false, "2001:db8::1", 8080},
        {"[::1]", false, "::1", 80},
        {"2001:db8::1:8080", false, nullptr, 0},
        {"[1.2.3.4]:80", false, nullptr, 0},
        {"[::1", false, nullptr, 0},
        {"proxy:", false, nullptr, 0},
        {"proxy:0", false, nullptr, 0},
        {"proxy:65536", false, nullptr, 0},
        {"proxy:4294967376", false, nullptr, 0},
        {"proxy:+80", false, nullptr, 0},
        {"proxy:80x", false, nullptr, 0},
        {"user@proxy:80", false, nullptr, 0},
        {"http=", false, nullptr, 0},
        {"http=bad:port;all:3128", false, "all", 3128},
        {"bad:port;good:3128", false, "good", 3128},
        {"", false, nullptr, 0},
    };
    for (const auto& row : rows) {
        const auto proxy = ProxyFor(row.list, row.https);
        const std::string what = std::string(row.list) + (row.https ? " (https)" : " (http)");
        ASSERT_EQ(proxy.has_value(), row.host != nullptr) << what;
        if (!proxy) continue;
        EXPECT_EQ(proxy->host, row.host) << what;
        EXPECT_EQ(proxy->port, row.port) << what;
    }
}

TEST(SystemProxy, BypassesProxyByTheListsEntries) {
    const struct {
        const char* list;
        const char* host;
        int port;
        bool https;
        bool direct;
    } rows[] = {
        {"", "example.com", 80, false, false},
        {"example.com", "example.com", 80, false, true},
        {"example.com", "www.example.com", 80, false, false},
        {"*.example.com", "www.example.com", 80, false, true},
        {"*.example.com", "a.b.example.com", 80, false, true},
        {"*.example.com", "example.com", 80, false, false},
        {"*.example.com", "badexample.com", 80, false, false},
        {"*.example.com", "www.example.com.evil.net", 80, false, false},
        {"*example*", "myexample.org", 80, false, true},
        {"192.168.*", "192.168.1.20", 80, false, true},
        {"192.168.*", "10.192.168.1", 80, false, false},
        {"192.168", "192.0.0.168", 80, false, false},
        {"*.EXAMPLE.com", "WWW.example.COM", 80, false, true},
        {"*.example.com", "www.example.com.", 80, false, true},
        {"example.com.", "example.com", 80, false, true},
        {"other.net; *.example.com", "www.example.com", 80, false, true},
        {"other.net,example.com", "example.com", 80, false, true},
        {"example.com:8080", "example.com", 8080, false, true},
        {"example.com:8080", "example.com", 80, false, false},
        {"example.com:bad", "example.com", 80, false, false},
        {"http://example.com", "example.com", 80, false, true},
        {"http://example.com", "example.com", 443, true, false},
        {"HTTPS://example.com:8443", "example.com", 8443, true, true},
        {"ftp://example.com", "example.com", 80, false, false},
        {"<local>", "intranet", 80, false, true},
        {"<LOCAL>", "localhost", 80, false, true},
        {"<local>", "intranet.", 80, false, true},
        {"<local>", "intranet.corp", 80, false, false},
        {"<local>", "::1", 80, false, false},
        {"<local>", "2130706433", 80, false, false},
        {"<-loopback>", "localhost", 80, false, false},
        {"<-loopback>;<local>", "localhost", 80, false, true},
        {"[::1]", "::1", 80, false, true},
        {"[0:0::1]:8080", "[::1]", 8080, false, true},
        {"[::1]:8080", "::1", 80, false, false},
        {"fe80::*", "fe80::1", 80, false, true},
        {"*", "anything.example", 80, false, true},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(BypassesProxy(row.list, row.host, row.port, row.https), row.direct)
            << row.list << " / " << row.host << ":" << row.port << (row.https ? " (https)" : " (http)");
    }
}

}  // namespace
}  // namespace ql::service
