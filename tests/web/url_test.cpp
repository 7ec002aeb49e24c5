#include "web/url.h"

#include <gtest/gtest.h>

namespace ql {
namespace {

TEST(Url, HostFromUrl) {
    struct Case {
        Text url, want;
    } cases[] = {
        {"http://WWW.Example.COM:8080/a/b", "www.example.com"},
        {"https://Secure.Example.com/", "secure.example.com"},
        {"http://a.com", "a.com"},
        // A user name and password are not the host; a bare query stays in it.
        {"http://user:pw@Host.com:81/x", "host.com"},
        {"http://a@b@c.com/x@y", "c.com"},
        {"HTTP://A.com/", "a.com"},
        {"http://a.com?x=1", "a.com?x=1"},
        // A second address in the query does not change the host.
        {"http://a.com/p?u=http://b.com/q", "a.com"},
        {"http://a.com/p?u=https://b.com/q", "a.com"},
        {"a.com:81/x", "a.com"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HostFromUrl(c.url), c.want) << c.url.str();
    }
}

TEST(Url, PathFromUrl) {
    struct Case {
        Text url, want;
    } cases[] = {
        {"http://a.com", "/"},
        {"http://a.com/", "/"},
        {"http://a.com/p/q?x=1#f", "/p/q?x=1#f"},
        {"http://A.COM:81/x", "/x"},
        {"http://a.com?x=1", "/"},
        {"http://a.com/p?u=http://b.com/q", "/p?u=http://b.com/q"},
        {"https://a.com/%E7%89%88", "/%E7%89%88"},
        {"", "/"},
        // Hosts whose names also occur in the scheme text are not found inside it.
        {"http://t/x", "/x"},
        {"http://p:8/a?b", "/a?b"},
        {"HTTPS://s/y", "/y"},
        {"http:///z", "/z"},
        {"http://host:pw@host/x", "/x"},
        {"http://u:p/w@h.com", "/w@h.com"},  // a "@" after the first "/" belongs to the path
        {"HTTP://a.com/x", "/x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PathFromUrl(c.url), c.want) << c.url.str();
    }
}

TEST(Url, PortFromUrl) {
    struct Case {
        Text url;
        std::int32_t want;
    } cases[] = {
        {"http://a.com", 80},
        {"http://a.com/", 80},
        {"http://a.com:8080/x", 8080},
        {"http://a.com:8080", 8080},
        {"http://a.com:/x", 0},       // empty port text
        {"http://a.com:abc/", 0},     // non-numeric port text
        {"http://a.com:81abc/", 81},  // the number at the start of the port text
        {"http://a.com/x:99", 80},    // a ":" in the path is not a port
        {"a.com:81/x", 81},
        {"a.com:81", 81},
        {"a.com", 80},
        {"http://user:pw@a.com/", 80},
        {"http://user:pw@a.com:81/", 81},
        {"HTTP://a.com:82/", 82},
        // Only "http://" is skipped; the engine uses 443 for a secure request itself.
        {"https://a.com:8443/", 0},
        // Beyond 32 bits the low 32 bits of the truncated number remain.
        {"http://a.com:99999999999/", 1215752191},
        {"", 80},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PortFromUrl(c.url), c.want) << c.url.str();
    }
}

TEST(Url, TextBefore) {
    struct Case {
        Text text, delimiter;
        std::optional<std::int32_t> start;
        bool ignoreCase;
        Text want;
    } cases[] = {
        {"a=1; path=/", ";", std::nullopt, false, "a=1"},
        {"a=1", ";", std::nullopt, false, ""},   // a cookie line without ";"
        {";a=1", ";", std::nullopt, false, ""},  // delimiter at position 1
        {"abcABC", "C", 4, false, "abcAB"},      // counted from the beginning, not the start
        {"abcABC", "c", 4, false, ""},
        {"abcABC", "c", 4, true, "abcAB"},
        {"abcABC", "c", 0, false, "ab"},
        {"abcABC", "c", -5, false, "ab"},
        {"abc", "", std::nullopt, false, ""},
        {"", ";", std::nullopt, false, ""},
        {"版本;x", ";", std::nullopt, false, "版本"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextBefore(c.text, c.delimiter, c.start, c.ignoreCase), c.want)
            << c.text.str() << " / " << c.delimiter.str();
    }
}

}  // namespace
}  // namespace ql
