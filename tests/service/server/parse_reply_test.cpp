// The reply format and the reading of the query: what the program cuts out of a reply must
// be exactly the lines the service meant.
#include "service/server/parse_reply.h"

#include <gtest/gtest.h>

namespace ql::service {
namespace {

class NoNetwork : public PageFetcher {
public:
    std::optional<FetchedPage> Fetch(const std::string&, Clock::time_point, std::string* why) override {
        ++calls;
        if (why) *why = "no network in this test";
        return std::nullopt;
    }
    int calls = 0;
};

TEST(ParseReply, KwValueDecodesToBytes) {
    const struct {
        const char* query;
        std::string kw;
    } rows[] = {
        {"kw=http%3A%2F%2Fa.test%2Fv.html", "http://a.test/v.html"},
        {"a=1&kw=x+y&kw=second", "x+y"},
        {"kw=%E4%B8%AD%zz%4", std::string("\xE4\xB8\xAD%zz%4")},
        {"kw=%00end", std::string("\0end", 4)},
        {"kwx=1", ""},
        {"kw", ""},
        {"", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(KwValue(row.query), row.kw) << row.query;
    }
}

TEST(ParseReply, SampleVideoIds) {
    const struct {
        const char* address;
        const char* id;
    } rows[] = {
        {"http://v.example.test/v_show/id_XMTIzNDU2Nzg5Mg==.html", "XMTIzNDU2Nzg5Mg=="},
        {"v.example.test/v_show/id_abc_-1.html?from=x", "abc_-1"},
        {"HTTPS://V.Example.Test:8080/v_show/id_a.html#t=1", "a"},
        {"http://v.example.test/v_show/id_a.html\n", "a"},
        {"http://v.example.test/v_show/id_.html", ""},
        {"http://v.example.test/v_show/id_a.htmlx", ""},
        {"http://v.example.test:/v_show/id_a.html", ""},
        {"http://w.example.test/v_show/id_a.html", ""},
        {"http://v.example.test.evil/v_show/id_a.html", ""},
        {"http://v.example.test/v_show/id_a.b.html", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(SampleVideoId(row.address), row.id) << row.address;
    }
}

TEST(ParseReply, RepliesCarryTheirLinesBetweenTheMarkers) {
    NoNetwork network;
    const std::string start =
        "<form action=\"get_m3u.php\" method=\"post\" name=\"m3uForm\">\r\n<input type=\"hidden\" name=\"inf\" value=\"";
    const struct {
        const char* query;
        std::string value;
        int fetches;
    } rows[] = {
        {"kw=v.example.test%2Fv_show%2Fid_Q1.html",
         "http://127.0.0.1:9/media/Q1/part1.mp4\r\nhttp://127.0.0.1:9/media/Q1/part2.mp4\r\n"
         "http://127.0.0.1:9/media/Q1/part3.mp4",
         0},
        {"kw=http%3A%2F%2Fpage.test%2F", "**/", 1},
        {"kw=page.test%2Fwatch%3Fv%3D1", "**/", 1},
        {"kw=http%3A%2F%2Fcdn.test%2Fclip.MP4%3Fs%3D1", "http://cdn.test/clip.MP4?s=1", 0},
        {"kw=ftp%3A%2F%2Fpage.test%2F", "**/", 0},
        {"kw=", "**/", 0},
    };
    for (const auto& row : rows) {
        const int before = network.calls;
        const std::string page = ParseReply(row.query, "http://127.0.0.1:9", network);
        // The query alone says whether its reply needs a fetch.
        EXPECT_EQ(network.calls - before, row.fetches) << row.query;
        EXPECT_EQ(ReplyNeedsFetch(row.query), row.fetches > 0) << row.query;
        const std::size_t from = page.find(start);
        ASSERT_NE(from, std::string::npos) << row.query;
        const std::size_t to = page.find("\"/>\r", from + start.size());
        ASSERT_NE(to, std::string::npos) << row.query;
        EXPECT_EQ(page.substr(from + start.size(), to - from - start.size()), row.value) << row.query;
    }
}

}  // namespace
}  // namespace ql::service
