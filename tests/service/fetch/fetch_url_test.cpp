// The address a fetch goes to, and where a redirect leads: a disguised host or a scheme other
// than http and https must never get through.
#include "service/fetch/fetch_url.h"
#include "service/fetch/proxy_request.h"

#include <gtest/gtest.h>

namespace ql::service {
namespace {

TEST(FetchUrl, ParsesOnlyHttpAndHttps) {
    const struct {
        const char* url;
        const char* text;  // nullptr: refused
        const char* host;
    } rows[] = {
        {"http://Example.COM/a?b#c", "http://example.com/a?b", "example.com"},
        {"HTTPS://example.com", "https://example.com/", "example.com"},
        {"https://example.com:443/x", "https://example.com/x", "example.com"},
        {"http://example.com:8080?q", "http://example.com:8080/?q", "example.com"},
        {"http://[2001:4860::8888]:81/", "http://[2001:4860::8888]:81/", "2001:4860::8888"},
        {"http://example.com/a b\"<\xE4\xB8\xAD", "http://example.com/a%20b%22%3C%E4%B8%AD", "example.com"},
        {"http://example.com\\evil.example/", "http://example.com/evil.example/", "example.com"},
        {"  http://example.com/ \r\n", "http://example.com/", "example.com"},
        {"ftp://example.com/", nullptr, ""},
        {"file:///c:/windows", nullptr, ""},
        {"http://user@127.0.0.1/", nullptr, ""},
        {"http://example.com@127.0.0.1/", nullptr, ""},
        {"http:///path", nullptr, ""},
        {"http://example.com:/", nullptr, ""},
        {"http://example.com:0/", nullptr, ""},
        {"http://example.com:65536/", nullptr, ""},
        {"http://example.com:80a/", nullptr, ""},
        {"http://[::1/", nullptr, ""},
        {"http://[127.0.0.1]/", nullptr, ""},
        {"http://a%2e.com/", nullptr, ""},
        {"example.com/page", nullptr, ""},
    };
    for (const auto& row : rows) {
        const auto url = ParseFetchUrl(row.url);
        ASSERT_EQ(url.has_value(), row.text != nullptr) << row.url;
        if (!url) continue;
        EXPECT_EQ(url->Text(), row.text) << row.url;
        EXPECT_EQ(url->host, row.host) << row.url;
    }
}

TEST(FetchUrl, FollowsLocations) {
    const auto from = ParseFetchUrl("https://site.example.com:8443/a/b/page.html?x=1");
    ASSERT_TRUE(from);
    const struct {
        const char* location;
        const char* to;  // nullptr: not followed
    } rows[] = {
        {"http://other.example.com/", "http://other.example.com/"},
        {"//cdn.example.com/v.mp4", "https://cdn.example.com/v.mp4"},
        {"/root?q", "https://site.example.com:8443/root?q"},
        {"next.html", "https://site.example.com:8443/a/b/next.html"},
        {"../up.html", "https://site.example.com:8443/a/up.html"},
        {"../../../../top", "https://site.example.com:8443/top"},
        {"./", "https://site.example.com:8443/a/b/"},
        {"?y=2", "https://site.example.com:8443/a/b/page.html?y=2"},
        {"#frag", "https://site.example.com:8443/a/b/page.html?x=1"},
        {" sub/x y.html ", "https://site.example.com:8443/a/b/sub/x%20y.html"},
        {"javascript:alert(1)", nullptr},
        {"file:///etc/passwd", nullptr},
        {"ftp://example.com/", nullptr},
        {"", nullptr},
        {"//user@127.0.0.1/", nullptr},
    };
    for (const auto& row : rows) {
        const auto to = FollowLocation(*from, row.location);
        ASSERT_EQ(to.has_value(), row.to != nullptr) << row.location;
        if (to) {
            EXPECT_EQ(to->Text(), row.to) << row.location;
        }
    }
}

// What a client of the service's proxy may ask for: a page in absolute form, or a tunnel.
TEST(ProxyRequest, AbsolutePagesAndTunnelsOnly) {
    const struct {
        const char* line;
        const char* target;  // nullptr: refused; a tunnel's is "host:port"
        bool tunnel;
    } rows[] = {
        {"GET http://site.example.com/a?b HTTP/1.1", "http://site.example.com/a?b", false},
        {"POST http://site.example.com:8080/api HTTP/1.0", "http://site.example.com:8080/api", false},
        {"CONNECT www.site.example.com:443 HTTP/1.1", "www.site.example.com:443", true},
        {"CONNECT [2001:db8::1]:443 HTTP/1.1", "2001:db8::1:443", true},
        {"GET /origin-form HTTP/1.1", nullptr, false},
        {"GET https://site.example.com/ HTTP/1.1", nullptr, false},
        {"GET http://user@127.0.0.1/ HTTP/1.1", nullptr, false},
        {"CONNECT user@site.example.com:443 HTTP/1.1", nullptr, false},
        {"CONNECT site.example.com:443/path HTTP/1.1", nullptr, false},
        {"CONNECT site.example.com HTTP/1.1", nullptr, false},
        {"CONNECT site.example.com:99999 HTTP/1.1", nullptr, false},
        {"G\x01T http://site.example.com/ HTTP/1.1", nullptr, false},
        {"GET http://site.example.com/ FTP/1.0", nullptr, false},
        {"GET  HTTP/1.1", nullptr, false},
        {"", nullptr, false},
    };
    for (const auto& row : rows) {
        const std::optional<ProxyRequest> asked = ParseProxyRequestLine(row.line);
        ASSERT_EQ(asked.has_value(), row.target != nullptr) << row.line;
        if (!asked) continue;
        EXPECT_EQ(asked->tunnel, row.tunnel) << row.line;
        EXPECT_EQ(row.tunnel ? asked->target.host + ":" + std::to_string(asked->target.port) : asked->target.Text(),
                  row.target)
            << row.line;
    }
}

}  // namespace
}  // namespace ql::service
