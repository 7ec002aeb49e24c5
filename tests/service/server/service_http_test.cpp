// The service's requests and answers: whose requests are answered (never a web page's, never
// under a foreign Host), what a head may hold, and what each route sends.
#include "service/server/service_http.h"

#include <gtest/gtest.h>

#include "service/site/sha256.h"
#include "service/site/site_pages.h"

namespace ql::service {
namespace {

std::string Hex(const std::array<std::uint8_t, 32>& digest) {
    std::string hex;
    for (std::uint8_t byte : digest) {
        hex += "0123456789abcdef"[byte >> 4];
        hex += "0123456789abcdef"[byte & 15];
    }
    return hex;
}

TEST(ServiceHttp, Sha256KnownDigests) {
    const struct {
        std::string text;
        const char* digest;
    } rows[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits the first block.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Hex(Sha256(row.text)), row.digest) << row.text.substr(0, 60);
    }
}

TEST(ServiceHttp, ReadsRequestHeads) {
    const std::string big(kMaxRequestHead, 'a');
    std::string manyLines = "GET / HTTP/1.1\r\n";
    for (std::size_t i = 0; i <= kMaxHeaderLines; ++i)
        manyLines += "X-" + std::to_string(i) + ": 1\r\n";
    manyLines += "\r\n";
    const struct {
        std::string raw;
        HeadStatus status;
        const char* target;
        std::size_t size;
    } rows[] = {
        {"GET /a?b HTTP/1.1\r\nHost: x\r\n\r\n", HeadStatus::kComplete, "/a?b", 30},
        {"GET / HTTP/1.0\n\n", HeadStatus::kComplete, "/", 16},
        // What follows the head (a body, a second request) is no part of it.
        {"GET / HTTP/1.1\r\nContent-Length: 28\r\n\r\nGET /parse.php?kw=x HTTP/1.1", HeadStatus::kComplete, "/", 38},
        {"GET / HTTP/1.1\r\nHost: x\r\n", HeadStatus::kIncomplete, "", 0},
        {"", HeadStatus::kIncomplete, "", 0},
        {"GET /" + big + " HTTP/1.1\r\n\r\n", HeadStatus::kTooLarge, "", 0},
        {"GET / HTTP/1.1\r\nX: " + big, HeadStatus::kTooLarge, "", 0},
        {manyLines, HeadStatus::kTooLarge, "", 0},
        {"\r\n\r\n", HeadStatus::kMalformed, "", 0},
        {"GET / HTTP/2\r\n\r\n", HeadStatus::kMalformed, "", 0},
        {"GET  / HTTP/1.1\r\n\r\n", HeadStatus::kMalformed, "", 0},
        {"GET http://evil.example/ HTTP/1.1\r\n\r\n", HeadStatus::kMalformed, "", 0},
        {"G(T / HTTP/1.1\r\n\r\n", HeadStatus::kMalformed, "", 0},
        {"GET / HTTP/1.1\r\n folded: x\r\n\r\n", HeadStatus::kMalformed, "", 0},
        {"GET / HTTP/1.1\r\nNo colon\r\n\r\n", HeadStatus::kMalformed, "", 0},
        {"GET / HTTP/1.1\r\nA\rB: x\r\n\r\n", HeadStatus::kMalformed, "", 0},
        {std::string("GET / HTTP/1.1\r\nA: \0\r\n\r\n", 25), HeadStatus::kMalformed, "", 0},
    };
    for (const auto& row : rows) {
        RequestHead head;
        const HeadStatus status = ReadRequestHead(row.raw, &head);
        EXPECT_EQ(status, row.status) << row.raw.substr(0, 60);
        if (status == HeadStatus::kComplete) {
            EXPECT_EQ(head.target, row.target) << row.raw;
            EXPECT_EQ(head.size, row.size) << row.raw;
        }
    }
}

// Answers a request head; `fetched` counts the requests that reached the page reading.
Response AnswerRaw(const std::string& raw, const ServiceSite& site, int* fetched, bool busy = false) {
    RequestHead head;
    EXPECT_EQ(ReadRequestHead(raw, &head), HeadStatus::kComplete) << raw;
    std::optional<std::string> asked;
    Response response = Answer(head, site, [&](std::string_view query) -> std::optional<std::string> {
        ++*fetched;
        asked = std::string(query);
        if (busy) return std::nullopt;
        return std::string("reply");
    });
    // The request alone tells the server which answers are parse replies, and of what.
    const std::optional<std::string_view> query = ParseQuery(head, site);
    EXPECT_EQ(query.has_value(), asked.has_value()) << raw;
    if (query && asked) {
        EXPECT_EQ(*query, *asked) << raw;
    }
    return response;
}

TEST(ServiceHttp, AnswersOnlyTheProgramsOwnRequests) {
    ServiceSite site;
    site.port = 47615;
    ServiceSite named;
    named.bind = "ql-box.lan";
    named.port = 8080;
    ServiceSite v6;
    v6.bind = "::1";
    v6.port = 9000;
    const struct {
        const ServiceSite* site;
        std::string headers;
        int status;
    } rows[] = {
        {&site, "Host: 127.0.0.1:47615", 200},
        {&site, "Host: LOCALHOST:47615", 200},
        {&site, "Host: localhost:47615\r\nSec-Fetch-Site: none", 200},
        {&site, "Host: 127.0.0.1:47615\r\nReferer: http://127.0.0.1:47615/", 200},
        {&named, "Host: ql-box.lan:8080", 200},
        {&named, "Host: 127.0.0.1:8080", 200},
        {&v6, "Host: [::1]:9000", 200},
        // A name of another site pointed at this machine, or no name at all.
        {&site, "Host: evil.example:47615", 403},
        {&site, "Host: 127.0.0.1", 403},
        {&site, "Host: 127.0.0.1:47616", 403},
        {&site, "Host: 127.0.0.1:47615.evil.example", 403},
        {&named, "Host: localhost:47615", 403},
        {&site, "", 403},
        {&site, "Host: 127.0.0.1:47615\r\nHost: evil.example", 403},
        // A page in a browser, whatever it claims.
        {&site, "Host: 127.0.0.1:47615\r\nOrigin: http://127.0.0.1:47615", 403},
        {&site, "Host: 127.0.0.1:47615\r\nOrigin: null", 403},
        {&site, "Host: 127.0.0.1:47615\r\nSec-Fetch-Site: cross-site", 403},
        {&site, "Host: 127.0.0.1:47615\r\nSec-Fetch-Site: same-origin", 403},
        {&site, "Host: 127.0.0.1:47615\r\nsec-fetch-site: same-site", 403},
    };
    for (const auto& row : rows) {
        int fetched = 0;
        const std::string raw = "GET /parse.php?kw=http%3A%2F%2Fa.example.com%2F HTTP/1.1\r\n" + row.headers +
                                (row.headers.empty() ? "" : "\r\n") + "\r\n";
        const Response response = AnswerRaw(raw, *row.site, &fetched);
        EXPECT_EQ(response.status, row.status) << row.headers;
        EXPECT_EQ(fetched, row.status == 200 ? 1 : 0) << row.headers;
    }
}

TEST(ServiceHttp, Routes) {
    ServiceSite site;
    site.port = 47999;
    const struct {
        const char* requestLine;
        int status;
        const char* contentType;
        const char* bodyHolds;  // a piece the body must hold, or nullptr
    } rows[] = {
        {"GET /parse.php?kw=x", 200, "text/html; charset=gbk", "reply"},
        {"GET /update-notice.html", 200, "text/html; charset=utf-8", "http://127.0.0.1:47999/qlw_sp.rar;"},
        {"GET /qlw_sp.rar", 200, "application/octet-stream", "Rar!"},
        {"GET /", 200, "text/html; charset=gbk", "id_qinglan_demo.html"},
        {"GET /index.html", 200, "text/html; charset=gbk", "id_XNDA1MjE4ODQw.html"},
        {"GET /my-show-id-soft.html", 200, "text/html; charset=gbk", "<h1>"},
        {"GET /index.php?s=gb-show.html", 200, "text/html; charset=gbk", "<h1>"},
        {"GET /media/abc/part3.mp4", 200, "video/mp4", "ftypmp42"},
        {"GET /media/abc/part4.mp4", 404, "text/html; charset=gbk", nullptr},
        {"GET /media/abc/part01.mp4", 404, "text/html; charset=gbk", nullptr},
        {"GET /media/a/b/part1.mp4", 404, "text/html; charset=gbk", nullptr},
        {"GET /index.php?s=gb-show.html&x=1", 404, "text/html; charset=gbk", nullptr},
        {"GET /parse.php/x", 404, "text/html; charset=gbk", nullptr},
        {"POST /parse.php?kw=x", 501, "text/html; charset=gbk", nullptr},
        {"OPTIONS /", 501, "text/html; charset=gbk", nullptr},
    };
    for (const auto& row : rows) {
        int fetched = 0;
        const Response response =
            AnswerRaw(std::string(row.requestLine) + " HTTP/1.1\r\nHost: 127.0.0.1:47999\r\n\r\n", site, &fetched);
        EXPECT_EQ(response.status, row.status) << row.requestLine;
        EXPECT_EQ(response.contentType, row.contentType) << row.requestLine;
        if (row.bodyHolds) {
            EXPECT_NE(response.body.find(row.bodyHolds), std::string::npos) << row.requestLine;
        }
    }
}

TEST(ServiceHttp, SampleMediaAreDownloadsNamedAfterTheirId) {
    ServiceSite site;
    int fetched = 0;
    const Response media =
        AnswerRaw("GET /media/a%20b.c/part2.mp4 HTTP/1.1\r\nHost: 127.0.0.1:47615\r\n\r\n", site, &fetched);
    ASSERT_EQ(media.extraHeaders.size(), 1u);
    EXPECT_EQ(media.extraHeaders[0].second, "attachment; filename=\"a_20b_c_part2.mp4\"");
    // The bytes are made from the id and part: another part, another file; the same, the same.
    EXPECT_EQ(media.body, SampleMedia("a%20b.c", 2));
    EXPECT_NE(SampleMedia("a%20b.c", 1), SampleMedia("a%20b.c", 2));
    EXPECT_EQ(media.body.size(), 24 + std::string(u8"青岚 sample media a%20b.c part 2\n").size() + 128 * 32);
}

TEST(ServiceHttp, ResponseBytes) {
    ServiceSite site;
    int fetched = 0;
    const std::string head = " HTTP/1.1\r\nHost: 127.0.0.1:47615\r\n\r\n";
    const Response get = AnswerRaw("GET /qlw_sp.rar" + head, site, &fetched);
    const Response headOnly = AnswerRaw("HEAD /qlw_sp.rar" + head, site, &fetched);
    const Response busy = AnswerRaw("GET /parse.php?kw=x" + head, site, &fetched, true);
    const std::string getBytes = ResponseBytes(get, "D");
    const std::string headBytes = ResponseBytes(headOnly, "D");
    // HEAD: the same head, Content-Length the GET's, no body.
    EXPECT_EQ(getBytes, headBytes + get.body);
    EXPECT_NE(headBytes.find("Content-Length: " + std::to_string(get.body.size()) + "\r\n"), std::string::npos);
    EXPECT_NE(headBytes.find("\r\nConnection: close\r\n\r\n"), std::string::npos);
    EXPECT_EQ(headBytes.substr(0, 17), "HTTP/1.1 200 OK\r\n");
    EXPECT_EQ(ResponseBytes(busy, "D").substr(0, 34), "HTTP/1.1 503 Service Unavailable\r\n");
    EXPECT_NE(ResponseBytes(busy, "D").find("Retry-After: 1\r\n"), std::string::npos);
    EXPECT_EQ(AnswerUnreadable(HeadStatus::kTooLarge).status, 431);
    EXPECT_EQ(AnswerUnreadable(HeadStatus::kMalformed).status, 400);
}

TEST(ServiceHttp, HttpDates) {
    const struct {
        std::int64_t seconds;
        const char* date;
    } rows[] = {
        {0, "Thu, 01 Jan 1970 00:00:00 GMT"},          {951782400, "Tue, 29 Feb 2000 00:00:00 GMT"},
        {1796905199, "Thu, 10 Dec 2026 12:19:59 GMT"}, {4107542400, "Mon, 01 Mar 2100 00:00:00 GMT"},
        {-5, "Thu, 01 Jan 1970 00:00:00 GMT"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(HttpDate(row.seconds), row.date) << row.seconds;
}

}  // namespace
}  // namespace ql::service
