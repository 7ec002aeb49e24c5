// The timed runner's decisions, without the network: what goes into the request record and
// comes out of it, the address, limit and request made of its arguments, the body's
// conversion, and the time-out notice.
#include <gtest/gtest.h>

#include <string>

#include "web/http_request.h"
#include "web/request_record.h"
#include "web/timed_request.h"

namespace ql {
namespace {

std::string Hex(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string_view AsView(const ByteSet& bytes) {
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

TEST(RequestRecord, RequestSurvivesPackingAndUnpacking) {
    HttpRequestInput in;
    in.address = "http://h/x";
    in.method = "POST";
    in.proxy = "127.0.0.1:8080";
    in.headers = "X-A: 1\r\n";
    in.body = BytesOf(std::string_view("a\0b", 3));
    in.cookies = "c=1";
    in.followRedirects = false;
    const RequestRecord record = PackRequest(in);
    EXPECT_EQ(record.slots[kSlotAddressThenBody], TextToBytes("http://h/x"));
    EXPECT_EQ(record.slots[kSlotPostData], in.body);  // zero bytes kept
    EXPECT_EQ(record.slots[kSlotFollowRedirects], TextToBytes("假"));

    const HttpRequestInput out = UnpackRequest(record);
    EXPECT_EQ(out.address, in.address);
    EXPECT_EQ(out.method, in.method);
    EXPECT_EQ(out.proxy, in.proxy);
    EXPECT_EQ(out.headers, in.headers);
    EXPECT_EQ(out.body, in.body);
    EXPECT_EQ(out.cookies, in.cookies);
    EXPECT_FALSE(out.followRedirects);
    in.followRedirects = true;
    EXPECT_EQ(Hex(BytesToText(PackRequest(in).slots[kSlotFollowRedirects]).view()), "d5e6");  // 真 in GBK
    EXPECT_TRUE(UnpackRequest(PackRequest(in)).followRedirects);
}

TEST(RequestRecord, OnlyTheExactSwitchTextFollowsRedirects) {
    struct Case {
        ByteSet slot;
        bool follow;
    } cases[] = {
        {TextToBytes("真"), true},  {TextToBytes("真 "), false}, {TextToBytes("true"), false},
        {TextToBytes("假"), false}, {ByteSet(), false},          {BytesOf(std::string_view("\xd5\xe6\0", 3)), false},
    };
    for (const Case& c : cases) {
        RequestRecord record;
        record.slots[kSlotFollowRedirects] = c.slot;
        EXPECT_EQ(UnpackRequest(record).followRedirects, c.follow) << Hex(BytesToText(c.slot).view());
    }
}

TEST(RequestRecord, TextSlotsEndAtTheirFirstZeroByte) {
    RequestRecord record;
    record.slots[kSlotAddressThenBody] = BytesOf(std::string_view("http://a/\0junk", 14));
    record.slots[kSlotHeaders] = BytesOf(std::string_view("X: 1\r\n\0Y: 2\r\n", 14));
    const HttpRequestInput in = UnpackRequest(record);
    EXPECT_EQ(in.address, Text("http://a/"));
    EXPECT_EQ(in.headers, Text("X: 1\r\n"));
    EXPECT_EQ(in.method, Text());
}

TEST(RequestRecord, ResponseFillsSlotsOneTwoAndSixOnly) {
    HttpRequestInput in;
    in.address = "http://h/";
    in.proxy = "p:1";
    in.headers = "H: 1\r\n";
    in.body = TextToBytes("form");
    RequestRecord record = PackRequest(in);
    HttpResponse response;
    response.body = BytesOf(std::string_view("\0body\0", 6));
    response.receivedCookies = "a=1;";
    response.headers = "HTTP/1.1 200 OK\r\n\r\n";
    PackResponse(record, response);
    EXPECT_EQ(record.slots[kSlotProxy], TextToBytes("p:1"));
    EXPECT_EQ(record.slots[kSlotHeaders], TextToBytes("H: 1\r\n"));
    EXPECT_EQ(record.slots[kSlotPostData], TextToBytes("form"));
    EXPECT_EQ(record.slots[kSlotFollowRedirects], TextToBytes("真"));

    const HttpResponse back = UnpackResponse(record);
    EXPECT_EQ(back.body, response.body);
    EXPECT_EQ(back.receivedCookies, response.receivedCookies);
    EXPECT_EQ(back.headers, response.headers);
}

TEST(TimedRequest, AddressNormalization) {
    struct Case {
        Text url, want;
    } cases[] = {
        {"http://a.com/", "http://a.com/"},      {"https://a.com/", "https://a.com/"},
        {"a.com/x", "http://a.com/x"},           {"HTTP://a.com/", "HTTP://a.com/"},
        {"hTtPs://a.com/", "hTtPs://a.com/"},    {" http://a.com/", "http:// http://a.com/"},
        {"ftp://a.com/", "http://ftp://a.com/"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NormalizeRequestAddress(c.url), c.want) << c.url.str();
    }
}

TEST(TimedRequest, LimitAndRecordFromTheArguments) {
    EXPECT_EQ(TimeLimitMs(std::nullopt), 60000);
    EXPECT_EQ(TimeLimitMs(0), 0);
    EXPECT_EQ(TimeLimitMs(3), 3000);
    EXPECT_EQ(TimeLimitMs(-2), -2000);
    EXPECT_EQ(TimeLimitMs(2147483647), 2147483647000LL);

    const HttpRequestInput omitted = TimedRequestInput("http://a/", std::nullopt, std::nullopt, std::nullopt,
                                                       std::nullopt, std::nullopt, std::nullopt);
    EXPECT_EQ(omitted.method, Text("GET"));
    EXPECT_TRUE(omitted.proxy.empty() && omitted.headers.empty() && omitted.body.empty() && omitted.cookies.empty());
    EXPECT_TRUE(omitted.followRedirects);

    const HttpRequestInput given =
        TimedRequestInput("http://a/", 1, Text("p:1"), Text("H: 1\r\n"), TextToBytes("b"), Text("c=1"), false);
    EXPECT_EQ(given.method, Text("POST"));
    EXPECT_EQ(given.proxy, Text("p:1"));
    EXPECT_EQ(given.headers, Text("H: 1\r\n"));
    EXPECT_EQ(given.body, TextToBytes("b"));
    EXPECT_EQ(given.cookies, Text("c=1"));
    EXPECT_FALSE(given.followRedirects);
    for (int method : {0, 2, -1}) {
        EXPECT_EQ(TimedRequestInput("http://a/", method, {}, {}, {}, {}, {}).method, Text("GET")) << method;
    }
}

TEST(TimedRequest, BodyConversion) {
    // 中文 in UTF-8, a zero byte, then more; 網頁 in Big5.
    const ByteSet utf8 = BytesOf(std::string_view("\xe4\xb8\xad\xe6\x96\x87\0A", 8));
    const ByteSet big5 = BytesOf(std::string_view("\xba\xf4\xad\xb6\0B", 6));
    EXPECT_EQ(Hex(AsView(ConvertedBody(utf8, 1))), "d6d0cec4");  // ends at the zero byte
    EXPECT_EQ(Hex(AsView(ConvertedBody(big5, 2))), "cdf8d2b3");  // 网页: simplified GBK
    for (int raw : {0, 3, -1}) {
        EXPECT_EQ(ConvertedBody(utf8, raw), utf8) << raw;  // whole, zero byte and all
    }
    EXPECT_TRUE(ConvertedBody(ByteSet(), 1).empty());
}

TEST(TimedRequest, TimeoutNoticeIsExactGbk) {
    EXPECT_EQ(Hex(kTimeoutNotice),
              "b3accab1b7b5bbd8a3acd6b8b6a8cdf8d5beb2bbc4dcb7c3cecaa3acbbf2d5dfc4e3b5c4cdf8c2e7b3f6cfd6cecacce2a3ac"
              "c4e3bfc9d2d4b0d1b2cecafdd6d0b5c4a3a2b3accab1b7b5bbd8a3a2b5c4d6b5c9e8d6c3b3a4d2bbd0a9a1a3");
}

}  // namespace
}  // namespace ql
