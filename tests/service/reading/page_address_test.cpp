// Addresses found in pages become the rows of a reply: a wrong join, a host not in its ASCII
// form, a character left unescaped (a quote would end the reply's field early) or an address
// of another scheme let through would give the user a row that downloads nothing, or worse.
#include "service/reading/page_address.h"

#include <gtest/gtest.h>

#include <optional>

#include "service/reading/address_parts.h"
#include "service/reading/idna.h"

namespace ql::service {
namespace {

constexpr const char* kBase = "http://www.example.test/a/b/page.html?x=1";

TEST(PageAddress, ResolvesToPlainAsciiRows) {
    const struct {
        const char* ref;
        const char* base;
        PageCharset charset;
        const char* row;  // nullptr: refused
    } rows[] = {
        {"clip.mp4", kBase, PageCharset::kUtf8, "http://www.example.test/a/b/clip.mp4"},
        {"../c/./d.mp4", kBase, PageCharset::kUtf8, "http://www.example.test/a/c/d.mp4"},
        {"/v/a b\"c<d>.mp4", kBase, PageCharset::kUtf8, "http://www.example.test/v/a%20b%22c%3Cd%3E.mp4"},
        // The query in the page's charset, the path and fragment always as UTF-8.
        {"?q=\xE7\x89\x87", kBase, PageCharset::kGbk, "http://www.example.test/a/b/page.html?q=%C6%AC"},
        {"?q=\xE7\x89\x87", kBase, PageCharset::kUtf8, "http://www.example.test/a/b/page.html?q=%E7%89%87"},
        {"?q=\xE2\x82\xAC", kBase, PageCharset::kWindows1252, "http://www.example.test/a/b/page.html?q=%80"},
        {"?q=\xE7\x89\x87", kBase, PageCharset::kWindows1252, "http://www.example.test/a/b/page.html?q=%E7%89%87"},
        {"/\xC3\xA9.mp4?\xC3\xA9", kBase, PageCharset::kWindows1252, "http://www.example.test/%C3%A9.mp4?%E9"},
        {"/\xE8\xA7\x86\xE9\xA2\x91/\xE4\xB8\x80.mp4#t=\xE4\xB8\x80", kBase, PageCharset::kGbk,
         "http://www.example.test/%E8%A7%86%E9%A2%91/%E4%B8%80.mp4#t=%E4%B8%80"},
        {"//cdn.example.test/x.m3u8", "https://s.example.test/", PageCharset::kUtf8, "https://cdn.example.test/x.m3u8"},
        // Hosts in IDNA form; a user part goes with the conversion; a bad port refuses.
        {"http://\xE4\xBE\x8B\xE5\xAD\x90.\xE6\xB5\x8B\xE8\xAF\x95:8080/a.mp4", kBase, PageCharset::kUtf8,
         "http://xn--fsqu00a.xn--0zwm56d:8080/a.mp4"},
        {"http://\xEF\xBC\xA5\xEF\xBC\xB8\xEF\xBC\xA1\xEF\xBC\xAD\xEF\xBC\xB0\xEF\xBC\xAC\xEF\xBC\xA5\xE3\x80\x82"
         "\xE6\xB5\x8B\xE8\xAF\x95/a.mp4",
         kBase, PageCharset::kUtf8, "http://example.xn--0zwm56d/a.mp4"},
        {"http://\xE4\xBE\x8B\xE5\xAD\x90.\xE6\xB5\x8B\xE8\xAF\x95:99999/a.mp4", kBase, PageCharset::kUtf8, nullptr},
        {"http://user@\xE4\xBE\x8B\xE5\xAD\x90.\xE6\xB5\x8B\xE8\xAF\x95/a.mp4", kBase, PageCharset::kUtf8,
         "http://xn--fsqu00a.xn--0zwm56d/a.mp4"},
        {"HTTP://Example.TEST:0080/A.MP4", kBase, PageCharset::kUtf8, "http://Example.TEST:0080/A.MP4"},
        {"http://[::1]:8080/a.mp4", kBase, PageCharset::kUtf8, "http://[::1]:8080/a.mp4"},
        // Other schemes, broken brackets, nothing at all.
        {"ftp://example.test/a.mp4", kBase, PageCharset::kUtf8, nullptr},
        {"javascript:play('a.mp4')", kBase, PageCharset::kUtf8, nullptr},
        {"https:rel.mp4", kBase, PageCharset::kUtf8, nullptr},
        {"http://[::1/a.mp4", kBase, PageCharset::kUtf8, nullptr},
        {"http://[zz]/a.mp4", kBase, PageCharset::kUtf8, nullptr},
        {"", kBase, PageCharset::kUtf8, nullptr},
        // Joining as the web does it.
        {"http:///a.mp4", kBase, PageCharset::kUtf8, "http://www.example.test/a.mp4"},
        {"  \x01 /a\tb\n.mp4 \x1f", kBase, PageCharset::kUtf8, "http://www.example.test/ab.mp4"},
        {"#frag", kBase, PageCharset::kUtf8, "http://www.example.test/a/b/page.html?x=1#frag"},
        {"http:rel.mp4", kBase, PageCharset::kUtf8, "http://www.example.test/a/b/rel.mp4"},
        {"a/../../../../x.mp4", kBase, PageCharset::kUtf8, "http://www.example.test/x.mp4"},
        {"x/..", kBase, PageCharset::kUtf8, "http://www.example.test/a/b/"},
        {".", kBase, PageCharset::kUtf8, "http://www.example.test/a/b/"},
        {"/a%20b/%zz.mp4?%41", kBase, PageCharset::kUtf8, "http://www.example.test/a%20b/%zz.mp4?%41"},
    };
    for (const auto& row : rows) {
        const std::optional<std::string> row_ = AbsoluteAddress(row.ref, row.base, row.charset);
        if (row.row) {
            EXPECT_EQ(row_.value_or("(refused)"), row.row) << row.ref;
        } else {
            EXPECT_FALSE(row_) << row.ref << " gave " << *row_;
        }
    }
}

TEST(PageAddress, HostsInIdnaForm) {
    const struct {
        const char* host;
        const char* ascii;  // nullptr: refused
    } rows[] = {
        {"\xE4\xBE\x8B\xE5\xAD\x90.\xE6\xB5\x8B\xE8\xAF\x95", "xn--fsqu00a.xn--0zwm56d"},
        {"b\xC3\xBC\x63her.example", "xn--bcher-kva.example"},
        {"B\xC3\x9C\x43HER.example.", "xn--bcher-kva.example."},
        {"www.example.test", "www.example.test"},
        {"\xE4\xBE\x8B..test", nullptr},
        {"\xE4\xBE\x8B\xE5\xAD\x90\xEE\x80\x80.test", nullptr},  // private use
        {"xn--\xE4\xBE\x8B.test", nullptr},
        {"a..b", nullptr},
    };
    for (const auto& row : rows) {
        const std::optional<std::string> ascii = HostToAscii(row.host);
        if (row.ascii) {
            EXPECT_EQ(ascii.value_or("(refused)"), row.ascii) << row.host;
        } else {
            EXPECT_FALSE(ascii) << row.host;
        }
    }
    // RFC 3492's sample (Chinese, simplified).
    EXPECT_EQ(PunycodeEncode(U"\u4ED6\u4EEC\u4E3A\u4EC0\u4E48\u4E0D\u8BF4\u4E2D\u6587").value_or(""),
              "ihqwcrb4cv8a8dqg056pqjye");
}

TEST(PageAddress, TypedAddresses) {
    const struct {
        std::string typed;
        const char* url;  // nullptr: refused
    } rows[] = {
        {"www.example.test/v.html", "http://www.example.test/v.html"},
        {"example.test:8080/x", "http://example.test:8080/x"},
        {"localhost:8080", "http://localhost:8080/"},
        {"\xC6\xAC\xB6\xCE.test/a", "http://xn--fow13l.test/a"},  // GBK as typed
        {"  http://a.test/x.mp4  ", "http://a.test/x.mp4"},
        {"\xE3\x80\x80\xEF\xBD\x88.test", "http://h.test/"},
        {"mailto:x@y", nullptr},
        {"", nullptr},
        {"a.test:80x", nullptr},
    };
    for (const auto& row : rows) {
        const std::optional<std::string> url = TypedAddress(row.typed);
        if (row.url) {
            EXPECT_EQ(url.value_or("(refused)"), row.url) << row.typed;
        } else {
            EXPECT_FALSE(url) << row.typed;
        }
    }
}

TEST(PageAddress, SameSite) {
    const struct {
        const char* a;
        const char* b;
        bool same;
    } rows[] = {
        {"http://a.b.example.com/x", "http://c.example.com/", true},
        {"http://a.example.com.cn/", "http://b.example.com.cn/", true},
        {"http://x.com.cn/", "http://y.com.cn/", false},
        {"http://127.0.0.1:1/", "http://127.0.0.1:2/", true},
        {"http://127.0.0.1/", "http://localhost/", false},
        {"http://a.test./", "http://A.test/", true},
        {"http://[::1]/", "http://[::1]:80/", true},
        {"http://a.b.c.example.org/", "http://example.org/", true},
        {"http://example.org/", "http://example.net/", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(SameSite(row.a, row.b), row.same) << row.a << " " << row.b;
}

TEST(PageAddress, MediaAndPagePaths) {
    const struct {
        const char* address;
        bool media, page;
    } rows[] = {
        {"http://a.test/v/clip.MP4?x=.html#t", true, false},
        {"http://a.test/v.m3u8", true, false},
        {"http://a.test/v.mp4/", false, false},
        {"http://a.test/v.mp4x", false, false},
        {"http://a.test/x?f=a.mp4", false, false},
        {"http://a.test/player.swf", false, true},
        {"http://a.test/watch.SHTML", false, true},
        {"/p/v.aspx", false, true},
        {"http://[x/a.mp4", false, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(HasMediaExtension(row.address), row.media) << row.address;
        EXPECT_EQ(HasPagePath(row.address), row.page) << row.address;
    }
}

// The host decides which addresses are let through and the port is checked: a user part or
// a bracket that leaks into either would let a wrong row through or refuse a good one.
TEST(AddressParts, HostAndPortOfTheNetloc) {
    const struct {
        const char* netloc;
        const char* host;
        std::optional<unsigned> port;  // nothing: refused
    } rows[] = {
        {"WWW.Example.test", "www.example.test", 0u},
        {"a.test:8080", "a.test", 8080u},
        {"user:pw@a.test:81", "a.test", 81u},
        {"u@v@A.test", "a.test", 0u},  // the last "@" ends the user part
        {"[::1]:8080", "::1", 8080u},
        {"u:1@[FE80::1%EtH0]", "fe80::1%EtH0", 0u},  // the zone keeps its case
        {"[::1]x:9", "::1", 9u},
        {"[::1", "::1", 0u},  // no closing bracket: no port
        {"a.test:", "a.test", 0u},
        {"a.test:65535", "a.test", 65535u},
        {"a.test:65536", "a.test", std::nullopt},
        {"a.test:99999999999", "a.test", std::nullopt},
        {"a.test:8a", "a.test", std::nullopt},
        {"", "", 0u},
    };
    for (const auto& r : rows) {
        AddressParts parts;
        parts.netloc = r.netloc;
        EXPECT_EQ(HostOf(parts), r.host) << r.netloc;
        EXPECT_EQ(PortOf(parts), r.port) << r.netloc;
    }
}

// The fragment is cut off first: a "?" after the "#" belongs to the fragment.
TEST(AddressParts, QueryAndFragment) {
    const struct {
        const char* address;
        const char* path;
        const char* query;
        const char* fragment;
    } rows[] = {
        {"http://h/p?q=1#f", "/p", "q=1", "f"},
        {"http://h/p#f?q=1", "/p", "", "f?q=1"},
        {"http://h/p?a?b#c#d", "/p", "a?b", "c#d"},
        {"http://h?q", "", "q", ""},
        {"p#", "p", "", ""},
        {"?#", "", "", ""},
    };
    for (const auto& r : rows) {
        const std::optional<AddressParts> parts = SplitAddress(r.address);
        ASSERT_TRUE(parts) << r.address;
        EXPECT_EQ(parts->path, r.path) << r.address;
        EXPECT_EQ(parts->query, r.query) << r.address;
        EXPECT_EQ(parts->fragment, r.fragment) << r.address;
    }
}

}  // namespace
}  // namespace ql::service
