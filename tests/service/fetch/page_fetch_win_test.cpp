// The service's fetcher on the system's HTTP stack against the fixture site on 127.0.0.1
// (its port in QL_FIXTURE_PORT): redirects counted, bodies cut at the limit after inflating,
// servers that trickle or say nothing cut at the one deadline, and nothing sent to a host
// the filter refuses (the driver checks that the site never saw "must-not-arrive").
#include "service/fetch/page_fetch_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/owned_socket_win.h"
#include "tests/service/fetch/fetch_test_support_win.h"

namespace ql::service {
namespace {

std::string Site() {
    const char* port = std::getenv("QL_FIXTURE_PORT");
    return std::string("http://127.0.0.1:") + (port ? port : "1");
}

struct Winsock : testing::Environment {
    WinsockScope scope;
};
const auto* const kWinsock = testing::AddGlobalTestEnvironment(new Winsock);

TEST(PageFetchWin, FetchesFollowsAndCuts) {
    const std::string site = Site();
    const struct {
        std::string path;
        bool fetched;
        std::string finalPath;    // the address after redirects
        const char* contentType;  // of the answer
        std::size_t bodySize;     // exact, or 0: any
        const char* bodyHolds;    // a piece the body holds, or nullptr
    } rows[] = {
        {"/pages/html5-player.html", true, "/pages/html5-player.html", "text/html", 0, "<video"},
        {"/redirect/5/pages/no-media.html", true, "/pages/no-media.html", "text/html", 0, nullptr},
        {"/redirect/6/pages/no-media.html", false, "", "", 0, nullptr},
        {"/loop", false, "", "", 0, nullptr},
        {"/pages/json-ld.html?encoding=gzip", true, "/pages/json-ld.html?encoding=gzip", "text/html", 0, "VideoObject"},
        {"/pages/json-ld.html?encoding=deflate", true, "/pages/json-ld.html?encoding=deflate", "text/html", 0,
         "VideoObject"},
        {"/pages/json-ld.html?encoding=raw-deflate", true, "/pages/json-ld.html?encoding=raw-deflate", "text/html", 0,
         "VideoObject"},
        {"/big", true, "/big", "text/html", kMaxBody, "/media/first.mp4"},
        {"/bomb", true, "/bomb", "text/html", kMaxBody, "/media/first.mp4"},
        {"/stream/abc", true, "/stream/abc", "video/mp4", 0, nullptr},
        {"/live/abc", true, "/live/abc", "application/x-mpegurl", 0, nullptr},
        {"/no-such-page", false, "", "", 0, nullptr},
    };
    for (const auto& row : rows) {
        SystemPageFetcher fetcher(true);
        std::string why;
        const auto page = fetcher.Fetch(site + row.path, Clock::now() + kFetchTime, &why);
        ASSERT_EQ(page.has_value(), row.fetched) << row.path << ": " << why;
        if (!page) {
            EXPECT_FALSE(why.empty()) << row.path;
            continue;
        }
        EXPECT_EQ(page->url, site + row.finalPath) << row.path;
        EXPECT_EQ(page->contentType, row.contentType) << row.path;
        if (row.bodySize) {
            EXPECT_EQ(page->body.size(), row.bodySize) << row.path;
        }
        if (row.bodyHolds) {
            EXPECT_NE(page->body.find(row.bodyHolds), std::string::npos) << row.path;
        }
        if (std::string(row.contentType).rfind("text/", 0) != 0) {
            EXPECT_TRUE(page->body.empty()) << row.path;
        }
    }
}

TEST(PageFetchWin, SilentTricklingAndEndlessServersAreCut) {
    const std::string site = Site();
    const struct {
        const char* path;
        bool fetched;  // what arrived before the deadline is kept
        const char* why;
    } rows[] = {
        {"/silent", false, "deadline"},
        {"/drip-headers", false, "deadline"},
        {"/drip", true, ""},
        // A head that never ends is cut at its bound, long before the deadline.
        {"/endless-headers", false, "the head of the answer is longer than 64 KiB"},
    };
    for (const auto& row : rows) {
        SystemPageFetcher fetcher(true);
        std::string why;
        // A short deadline: the test's own time limit catches a fetch that runs past it.
        const auto page = fetcher.Fetch(site + row.path, Clock::now() + std::chrono::seconds(2), &why);
        EXPECT_EQ(page.has_value(), row.fetched) << row.path << ": " << why;
        EXPECT_NE(why.find(row.why), std::string::npos) << row.path << ": " << why;
        if (page) {
            EXPECT_NE(page->body.find("<video"), std::string::npos) << row.path;
        }
    }
}

TEST(PageFetchWin, RefusedHostsGetNoByte) {
    const std::string site = Site();
    const std::string port = site.substr(site.rfind(':'));
    const char* rows[] = {
        "http://127.0.0.1{PORT}/must-not-arrive/1",  "http://localhost{PORT}/must-not-arrive/2",
        "http://127.1{PORT}/must-not-arrive/3",      "http://[::ffff:127.0.0.1]{PORT}/must-not-arrive/4",
        "http://2130706433{PORT}/must-not-arrive/5", "https://127.0.0.1{PORT}/must-not-arrive/6",
        "ftp://127.0.0.1{PORT}/must-not-arrive/7",   "http://user@127.0.0.1{PORT}/must-not-arrive/8",
    };
    for (std::string url : rows) {
        url.replace(url.find("{PORT}"), 6, port);
        SystemPageFetcher fetcher(false);
        std::string why;
        EXPECT_FALSE(fetcher.Fetch(url, Clock::now() + kFetchTime, &why)) << url;
        EXPECT_FALSE(why.empty()) << url;
    }
}

// A port on 127.0.0.1 where a connection is never completed: a listener that accepts
// nothing, its queue filled by connections of its own. A connect to it hangs (its attempts go
// unanswered), as to a host that drops them, until the connecting side gives up.
class Blackhole {
public:
    // False when no connection hangs there (the queue would not fill).
    bool Open() {
        listener_.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (!listener_ || bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener_.get(), 1) != 0 ||
            getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return false;
        }
        port_ = ntohs(address.sin_port);
        for (int i = 0; i < 16; ++i) {
            UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
            u_long nonBlocking = 1;
            ioctlsocket(s.get(), FIONBIO, &nonBlocking);
            connect(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
            const bool completed = WaitSocket(s.get(), POLLWRNORM, Clock::now() + std::chrono::seconds(1));
            filling_.push_back(std::move(s));
            if (!completed) return true;
        }
        return false;
    }
    int port() const { return port_; }

private:
    UniqueSocket listener_;
    std::vector<UniqueSocket> filling_;
    int port_ = 0;
};

// What a name answers at its first lookup and at every later one ("host:port" numeric
// addresses; port 0: the port asked for).
struct Answers {
    std::vector<std::string> first;
    std::vector<std::string> later;
};

// A lookup of the test's own, counting the names asked; it never asks the system about a name.
class TestLookup {
public:
    explicit TestLookup(std::map<std::string, Answers> names) : names_(std::move(names)) {}

    LookupFunction Function() {
        return [this](const std::string& host, int port, Clock::time_point deadline, std::string* why) {
            std::vector<std::string> texts;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                const int asked = ++asked_[host];
                const auto it = names_.find(host);
                if (it != names_.end()) texts = asked == 1 ? it->second.first : it->second.later;
            }
            std::vector<SocketAddress> addresses;
            for (const std::string& text : texts) {
                const std::size_t colon = text.rfind(':');
                const int to = std::stoi(text.substr(colon + 1));
                // A numeric address: the system looks nothing up for it.
                for (SocketAddress& a : Lookup(text.substr(0, colon), to ? to : port, deadline, why))
                    addresses.push_back(std::move(a));
            }
            if (addresses.empty() && why) *why = "no address for " + host;
            return addresses;
        };
    }
    int Asked(const std::string& host) {
        std::lock_guard<std::mutex> lock(mutex_);
        return asked_[host];
    }

private:
    std::map<std::string, Answers> names_;
    std::mutex mutex_;
    std::map<std::string, int> asked_;
};

TEST(PageFetchWin, ConnectsToTheAddressItChecked) {
    const std::string site = Site();
    const std::string port = site.substr(site.rfind(':') + 1);
    Blackhole blackhole;
    ASSERT_TRUE(blackhole.Open()) << "no connection hangs on a listener whose queue is full";
    const std::string hole = "127.0.0.1:" + std::to_string(blackhole.port());
    const struct {
        const char* host;
        Answers answers;
        int deadlineSeconds;
    } rows[] = {
        // A name that answers another address after the check (rebinding): nothing listens on
        // 127.0.0.3, so a page proves the connection went to the address that was checked.
        {"rebind.test", {{"127.0.0.1:0"}, {"127.0.0.3:0"}}, 15},
        // The first addresses of a name never answer; the last does, within the one deadline.
        {"many.test", {{hole, hole, "127.0.0.1:0"}, {}}, 9},
    };
    for (const auto& row : rows) {
        TestLookup lookup({{row.host, row.answers}});
        SystemPageFetcher fetcher(true, lookup.Function());
        const std::string url = std::string("http://") + row.host + ":" + port + "/whoami";
        std::string why;
        const auto page = fetcher.Fetch(url, Clock::now() + std::chrono::seconds(row.deadlineSeconds), &why);
        ASSERT_TRUE(page.has_value()) << row.host << ": " << why;
        EXPECT_EQ(page->url, url);
        // The name, not the address, in the Host header.
        EXPECT_NE(page->body.find(std::string("Host: ") + row.host + ":" + port), std::string::npos)
            << row.host << ": " << page->body;
        EXPECT_EQ(lookup.Asked(row.host), 1) << row.host;
    }
}

TEST(PageFetchWin, LocalNamesAreRefusedWithoutALookup) {
    const std::string site = Site();
    const std::string port = site.substr(site.rfind(':'));
    const struct {
        const char* host;
        int lookups;  // the name is refused after this many lookups
    } rows[] = {
        {"intranet", 0},
        {"nas.local", 0},
        {"v.example.test", 0},
        {"db.internal", 0},
        {"printer.home.arpa", 0},
        {"localhost", 0},
        // A name outside ASCII is judged in its ASCII form (xn--): the reserved .test still.
        {u8"\u89c6\u9891.test", 0},
        // A public-looking name that leads to loopback: looked up, then refused.
        {"video.example.com", 1},
    };
    for (const auto& row : rows) {
        TestLookup lookup({{row.host, {{"127.0.0.1:0"}, {"127.0.0.1:0"}}}});
        SystemPageFetcher fetcher(false, lookup.Function());
        std::string why;
        EXPECT_FALSE(fetcher.Fetch(std::string("http://") + row.host + port + "/must-not-arrive/" + row.host,
                                   Clock::now() + kFetchTime, &why))
            << row.host;
        EXPECT_NE(why.find(row.host[0] & 0x80 ? "xn--" : row.host), std::string::npos) << why;
        EXPECT_EQ(lookup.Asked(row.host), row.lookups) << row.host;
    }
}

// Every hop's connection is checked again: a site that counts as public for its first
// connection only is refused at its redirect, and the page it redirects to is never asked for
// (the driver fails the run if "must-not-arrive" reaches the site).
TEST(PageFetchWin, EveryRedirectIsCheckedAgain) {
    const std::string site = Site();
    const std::string port = site.substr(site.rfind(':'));
    const struct {
        const char* path;
        int publicConnections;  // how many connections the judge lets through before the filter's own word
        bool fetched;
    } rows[] = {
        {"/redirect/1/pages/html5-player.html", 1000, true},
        {"/redirect/1/must-not-arrive/redirected", 1, false},
        {"/redirect/3/must-not-arrive/redirected-later", 3, false},
    };
    for (const auto& row : rows) {
        TestLookup lookup({{"video.example.com", {{"127.0.0.1:0"}, {"127.0.0.1:0"}}}});
        auto judged = std::make_shared<std::atomic<int>>(0);
        SystemPageFetcher fetcher(false, lookup.Function(), [judged, &row](const IpAddress& ip) {
            return ++*judged <= row.publicConnections || IsPublicAddress(ip);
        });
        std::string why;
        const auto page =
            fetcher.Fetch(std::string("http://video.example.com") + port + row.path, Clock::now() + kFetchTime, &why);
        EXPECT_EQ(page.has_value(), row.fetched) << row.path << ": " << why;
        if (!row.fetched) {
            EXPECT_NE(why.find("not public"), std::string::npos) << row.path << ": " << why;
        }
        EXPECT_EQ(*judged, row.publicConnections < 1000 ? row.publicConnections + 1 : 2) << row.path;
    }
}

// The fixture's TLS certificate (DER), trusted by the fetches below beside the system's roots.
// An https page comes through the proxy's own TLS from the checked address, with the name in
// the TLS greeting and in the Host header, once its certificate is trusted; an untrusted one,
// or one for another name, fails the fetch with the reason.
TEST(PageFetchWin, HttpsPagesComeFromTheCheckedAddressWithTheName) {
    const char* tlsPort = std::getenv("QL_FIXTURE_TLS_PORT");
    if (!tlsPort) GTEST_SKIP() << "no TLS site (openssl is missing)";
    const ExtraRoots root = TlsSiteRoot();
    ASSERT_EQ(root.size(), 1u);
    TestLookup lookup({{"tls.test", {{"127.0.0.1:0"}, {"127.0.0.1:0"}}}, {"other.test", {{"127.0.0.1:0"}, {}}}});
    // The first page in the default version (TLS 1.3 here), the second in TLS 1.2.
    const std::string address = std::string("https://tls.test:") + tlsPort + "/watch?x=1";
    std::string why;
    EXPECT_FALSE(SystemPageFetcher(true, lookup.Function()).Fetch(address, Clock::now() + kFetchTime, &why));
    EXPECT_NE(why.find("not issued by an authority the system trusts"), std::string::npos) << why;
    SystemPageFetcher fetcher(true, lookup.Function(), IsPublicAddress, root);
    const char* const ports[] = {tlsPort, std::getenv("QL_FIXTURE_TLS12_PORT")};
    for (const char* port : ports) {
        ASSERT_NE(port, nullptr);
        const std::string at = std::string("https://tls.test:") + port + "/watch?x=1";
        const auto page = fetcher.Fetch(at, Clock::now() + kFetchTime, &why);
        ASSERT_TRUE(page.has_value()) << at << ": " << why;
        EXPECT_EQ(page->url, at);
        EXPECT_EQ(page->body.size(), 100000u) << at;
        EXPECT_EQ(page->body.rfind(std::string("<p>Host: tls.test:") + port + ", path: /watch?x=1</p>", 0), 0u)
            << page->body.substr(0, 100);
    }
    EXPECT_FALSE(fetcher.Fetch(std::string("https://other.test:") + tlsPort + "/", Clock::now() + kFetchTime, &why));
    EXPECT_NE(why.find("is for another name"), std::string::npos) << why;
    SystemPageFetcher plain(true);
    const auto seen = plain.Fetch(Site() + "/tls-seen", Clock::now() + kFetchTime, &why);
    ASSERT_TRUE(seen.has_value()) << why;
    // The last names the site was greeted with (an earlier test may have greeted it before).
    EXPECT_NE(seen->body.find("tls.test tls.test tls.test other.test"), std::string::npos) << seen->body;
}

}  // namespace
}  // namespace ql::service
