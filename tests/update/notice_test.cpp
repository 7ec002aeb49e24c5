#include "update/notice.h"

#include <gtest/gtest.h>

#include "web/timed_request.h"

namespace ql {
namespace {

constexpr const char* kOk = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";

TEST(ReadUpdateNotice, Table) {
    using V = UpdateVerdict;
    struct Case {
        const char* what;
        std::string body;  // UTF-8, as the page is served
        std::string headers;
        V verdict;
        const char* address;
    } cases[] = {
        {"newer by 1", u8"<p>版本:20130416;地址:h.test/a.rar;</p>", kOk, V::NewVersion, "h.test/a.rar"},
        {"equal", u8"版本:20130415;地址:h.test/a.rar;", kOk, V::UpToDate, "h.test/a.rar"},
        {"older", u8"版本:20121231;", kOk, V::UpToDate, ""},
        {"newer by 2e-7", u8"版本:20130415.0000002;", kOk, V::NewVersion, ""},
        {"newer by 0.5e-7 is within the tolerance", u8"版本:20130415.00000005;", kOk, V::UpToDate, ""},
        {"percent-escaped UTF-8 line",
         "x %E7%89%88%E6%9C%AC%3A20130416%3B %E5%9C%B0%E5%9D%80%3Ahttp%3A%2F%2Fh.test%2Fq.rar%3B", kOk, V::NewVersion,
         "http://h.test/q.rar"},
        {"full-width colon is not the marker", u8"版本：20130416;地址：h.test/a.rar;", kOk, V::NoAnswer, ""},
        {"no version", u8"<p>nothing announced</p> 地址:h.test/a.rar;", kOk, V::NoAnswer, ""},
        {"empty version", u8"版本:;", kOk, V::NoAnswer, ""},
        {"version not a number", u8"版本:2013-04-16;", kOk, V::NoAnswer, ""},
        {"version beyond any number", u8"版本:" + std::string(400, '9') + ";", kOk, V::NoAnswer, ""},
        {"blanks around the number", u8"版本: 20130416 ;", kOk, V::NewVersion, ""},
        {"CR LF and a tab around the number", u8"版本:\r\n\t20130416\r\n;", kOk, V::NewVersion, ""},
        {"LF alone after the number", u8"版本:20130416\n;", kOk, V::NewVersion, ""},
        {"other characters around the number", u8"版本:\r\n20130416\r\nx;", kOk, V::NoAnswer, ""},
        {"white space between digits", u8"版本:2013\r\n0416;", kOk, V::NoAnswer, ""},
        {"first occurrence wins", u8"版本:20130101;版本:20991231;地址:h.test/1;地址:h.test/2;", kOk, V::UpToDate,
         "h.test/1"},
        {"newer without an address", u8"版本:20130416;", kOk, V::NewVersion, ""},
        // The page is UTF-8: a GBK page does not hold the markers.
        {"GBK page", std::string("\xB0\xE6\xB1\xBE:20130416;"), kOk, V::NoAnswer, ""},
        // What a failed fetch brings is never an answer.
        {"status 404", u8"版本:20130416;", "HTTP/1.1 404 Not Found\r\n\r\n", V::NoAnswer, ""},
        {"no status line", u8"版本:20130416;", "", V::NoAnswer, ""},
        {"empty body", "", kOk, V::NoAnswer, ""},
        {"time-out notice", kTimeoutNotice, kOk, V::NoAnswer, ""},
        {"cut short of its declared length", u8"版本:20130416;", "HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\n",
         V::NoAnswer, ""},
    };
    for (const Case& c : cases) {
        const UpdateNotice n = ReadUpdateNotice(BytesOf(c.body), c.headers);
        EXPECT_EQ(n.verdict, c.verdict) << c.what;
        EXPECT_EQ(n.archiveAddress.str(), c.address) << c.what;
    }
}

// The archive is saved only when this holds, so each row is a body that would otherwise
// replace a good file.
TEST(FetchComplete, Table) {
    const ByteSet body = BytesOf(std::string("Rar!\0\x01\x02", 7));
    struct Case {
        const char* what;
        ByteSet body;
        std::string headers;
        bool complete;
    } cases[] = {
        {"declared length matches", body, "HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\n", true},
        {"name in any case, blanks", body, "HTTP/1.0 200 OK\r\ncontent-LENGTH:  7 \r\n\r\n", true},
        {"no declared length", body, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", true},
        {"cut off", body, "HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\n", false},
        {"longer than declared", body, "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\n", false},
        {"declared length not a number", body, "HTTP/1.1 200 OK\r\nContent-Length: 7x\r\n\r\n", false},
        {"another header ending in the name", body, "HTTP/1.1 200 OK\r\nX-Content-Length: 9\r\n\r\n", true},
        {"error page", body, "HTTP/1.1 404 Not Found\r\nContent-Length: 7\r\n\r\n", false},
        {"redirect not followed", body, "HTTP/1.1 302 Found\r\nContent-Length: 7\r\n\r\n", false},
        {"empty", ByteSet(), "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false},
        {"time-out notice", TextToBytes(kTimeoutNotice), "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FetchComplete(c.body, c.headers), c.complete) << c.what;
    }
}

}  // namespace
}  // namespace ql
