// The service's fetcher on the system's HTTP stack against the fixture site on 127.0.0.1
// (its port in QL_FIXTURE_PORT): redirects counted, bodies cut at the limit after inflating,
// servers that trickle or say nothing cut at the one deadline, and nothing sent to a host
// the filter refuses (the driver checks that the site never saw "must-not-arrive").
#include "service/page_fetch_win.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/owned_socket_win.h"

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
        if (row.bodySize) EXPECT_EQ(page->body.size(), row.bodySize) << row.path;
        if (row.bodyHolds) EXPECT_NE(page->body.find(row.bodyHolds), std::string::npos) << row.path;
        if (std::string(row.contentType).rfind("text/", 0) != 0) EXPECT_TRUE(page->body.empty()) << row.path;
    }
}

TEST(PageFetchWin, SilentAndTricklingServersEndAtTheDeadline) {
    const std::string site = Site();
    const struct {
        const char* path;
        bool fetched;  // what arrived before the deadline is kept
    } rows[] = {
        {"/silent", false},
        {"/drip-headers", false},
        {"/drip", true},
    };
    for (const auto& row : rows) {
        SystemPageFetcher fetcher(true);
        std::string why;
        // A short deadline: the test's own time limit catches a fetch that runs past it.
        const auto page = fetcher.Fetch(site + row.path, Clock::now() + std::chrono::seconds(2), &why);
        EXPECT_EQ(page.has_value(), row.fetched) << row.path << ": " << why;
        if (page) EXPECT_NE(page->body.find("<video"), std::string::npos) << row.path;
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

}  // namespace
}  // namespace ql::service
