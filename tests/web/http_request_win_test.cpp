// The engine against the real Internet API and a local server that echoes every request
// byte: the header block on the wire, redirects, a proxy, secure addresses, large header
// blocks and bodies. The tests that make the system store cookies are in suite CookieStore,
// which runs in a process of its own so that its cookies reach no other test.
#include <gtest/gtest.h>

#include <string>

#include "tests/web/server_helpers_win.h"
#include "web/http_request.h"
#include "web/request_record.h"

namespace ql {
namespace {

using webtest::AsString;
using webtest::EchoedRequest;
using webtest::ParseEcho;
using webtest::ServerCounter;
using webtest::ServerUrl;

constexpr std::uint32_t kNetworkTimeoutMs = 15000;

// One exchange through the record, as the runner's worker does it.
HttpResponse Exchange(const HttpRequestInput& in) {
    RequestRecord record = PackRequest(in);
    HttpRequest(record, kNetworkTimeoutMs);
    return UnpackResponse(record);
}

// The value of one of the engine's default lines ("Name: value\r\n").
std::string DefaultValue(const std::string& line) {
    const auto colon = line.find(": ");
    return line.substr(colon + 2, line.size() - colon - 4);
}

HttpRequestInput Get(const std::string& path, const Text& headers = Text()) {
    HttpRequestInput in;
    in.address = ServerUrl(path);
    in.headers = headers;
    return in;
}

TEST(EngineOnTheWire, GetCarriesTheDefaultLinesInOrder) {
    const Text address = ServerUrl("/echo/get?x=1");
    const HttpResponse response = Exchange(Get("/echo/get?x=1", "X-First: 1\r\n"));
    const EchoedRequest echo = ParseEcho(response.body);
    EXPECT_EQ(echo.requestLine, "GET /echo/get?x=1 HTTP/1.1");
    EXPECT_EQ(echo.Values("Accept"), std::vector<std::string>{DefaultValue(kDefaultAcceptLine)});
    EXPECT_EQ(echo.Values("Referer"), std::vector<std::string>{address.str()});
    EXPECT_EQ(echo.Values("Accept-Language"), std::vector<std::string>{"zh-cn"});
    EXPECT_EQ(echo.Values("User-Agent"), std::vector<std::string>{kDefaultAgent});
    // The caller's lines, then Accept, Referer, Accept-Language.
    const int first = echo.IndexOf("X-First");
    ASSERT_GE(first, 0);
    EXPECT_LT(first, echo.IndexOf("Accept"));
    EXPECT_LT(echo.IndexOf("Accept"), echo.IndexOf("Referer"));
    EXPECT_LT(echo.IndexOf("Referer"), echo.IndexOf("Accept-Language"));
    EXPECT_TRUE(echo.Values("Cookie").empty());
    EXPECT_TRUE(echo.Values("Content-Type").empty());
    EXPECT_EQ(response.headers.str().rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << response.headers.str();
    EXPECT_TRUE(response.receivedCookies.empty());
}

TEST(EngineOnTheWire, CallerHeadersSuppressAndReplaceDefaults) {
    using Values = std::vector<std::string>;
    const Values accept{DefaultValue(kDefaultAcceptLine)};
    const Values referer{ServerUrl("/echo/h").str()};
    struct Case {
        Text headers;
        Values accept, referer, language, agent;
    } cases[] = {
        // A language line counts as an Accept line too: the names are found as substrings.
        {"Accept-Language: en\r\n", {}, referer, {"en"}, {kDefaultAgent}},
        {"Accept: text/html\r\n", {"text/html"}, referer, {"zh-cn"}, {kDefaultAgent}},
        {"Referer: http://127.0.0.1/from\r\n", accept, {"http://127.0.0.1/from"}, {"zh-cn"}, {kDefaultAgent}},
        {"X-A: 1\r\nRefererNo\r\n", accept, {}, {"zh-cn"}, {kDefaultAgent}},
        // The caller's agent is the one the system sends, once.
        {"User-Agent: QlTest/1.0\r\n", accept, referer, {"zh-cn"}, {"QlTest/1.0"}},
    };
    for (const Case& c : cases) {
        const EchoedRequest echo = ParseEcho(Exchange(Get("/echo/h", c.headers)).body);
        EXPECT_EQ(echo.Values("Accept"), c.accept) << c.headers.str();
        EXPECT_EQ(echo.Values("Referer"), c.referer) << c.headers.str();
        EXPECT_EQ(echo.Values("Accept-Language"), c.language) << c.headers.str();
        EXPECT_EQ(echo.Values("User-Agent"), c.agent) << c.headers.str();
        for (const std::string& line : echo.headers) {
            EXPECT_EQ(line.find("RefererNo"), std::string::npos) << line;
        }
    }
}

TEST(EngineOnTheWire, PostCarriesItsBodyAndFormLines) {
    HttpRequestInput in = Get("/echo/post");
    in.method = "POST";
    in.body = TextToBytes("a=1&b=%E4");
    EchoedRequest echo = ParseEcho(Exchange(in).body);
    EXPECT_EQ(echo.requestLine, "POST /echo/post HTTP/1.1");
    EXPECT_EQ(echo.Values("Content-Type"), std::vector<std::string>{"application/x-www-form-urlencoded"});
    EXPECT_EQ(echo.Values("Content-Length"), std::vector<std::string>{"9"});
    EXPECT_EQ(echo.body, "a=1&b=%E4");
    EXPECT_LT(echo.IndexOf("Accept-Language"), echo.IndexOf("Content-Type"));

    in.headers = "Content-Type: text/plain\r\n";
    echo = ParseEcho(Exchange(in).body);
    EXPECT_EQ(echo.Values("Content-Type"), std::vector<std::string>{"text/plain"});
    EXPECT_EQ(echo.Values("Content-Length"), std::vector<std::string>{"9"});

    // No body: no form lines from the engine (the system may send a zero length itself).
    in.headers = "";
    in.body.clear();
    echo = ParseEcho(Exchange(in).body);
    EXPECT_EQ(echo.requestLine, "POST /echo/post HTTP/1.1");
    EXPECT_TRUE(echo.Values("Content-Type").empty());
    for (const std::string& length : echo.Values("Content-Length")) {
        EXPECT_EQ(length, "0");
    }
    EXPECT_EQ(echo.body, "");
}

TEST(EngineOnTheWire, CallerCookiesAreSentAsOneLine) {
    HttpRequestInput in = Get("/echo/cookie");
    in.cookies = "k=v; k2=v2";
    const EchoedRequest echo = ParseEcho(Exchange(in).body);
    EXPECT_EQ(echo.Values("Cookie"), std::vector<std::string>{"k=v; k2=v2"});
    // The cookie line comes last of the engine's lines.
    EXPECT_GT(echo.IndexOf("Cookie"), echo.IndexOf("Accept-Language"));
}

TEST(EngineOnTheWire, RedirectsFollowedOrRefused) {
    HttpRequestInput in = Get("/redirect?to=/echo/after");
    HttpResponse response = Exchange(in);
    EXPECT_EQ(ParseEcho(response.body).requestLine, "GET /echo/after HTTP/1.1");
    EXPECT_EQ(response.headers.str().rfind("HTTP/1.1 200", 0), 0u) << response.headers.str();

    in.followRedirects = false;
    response = Exchange(in);
    EXPECT_EQ(AsString(response.body), "moved");
    EXPECT_EQ(response.headers.str().rfind("HTTP/1.1 302", 0), 0u) << response.headers.str();
    EXPECT_NE(TextFind(response.headers, "Location: /echo/after\r\n"), -1) << response.headers.str();
}

TEST(EngineOnTheWire, ProxyReceivesTheAbsoluteAddress) {
    // Port 1 of the loopback address answers nothing: only the proxy can have replied. (The
    // target stays on the loopback address so that no name is looked up; Windows itself
    // would go around a proxy for loopback targets unless the bypass list says "<-loopback>",
    // Wine does not.)
    HttpRequestInput in;
    in.address = "http://127.0.0.1:1/echo/via-proxy?q=1";
    in.proxy = Text("127.0.0.1:" + std::to_string(webtest::ServerPort()));
    const EchoedRequest echo = ParseEcho(Exchange(in).body);
    EXPECT_EQ(echo.requestLine, "GET http://127.0.0.1:1/echo/via-proxy?q=1 HTTP/1.1");
}

TEST(EngineOnTheWire, OnlyTheSchemeMakesARequestSecure) {
    // An https address in the query of a plain address: a plain request on the address's port.
    const HttpResponse plain = Exchange(Get("/echo/q?u=https://127.0.0.1/x"));
    EXPECT_EQ(ParseEcho(plain.body).requestLine, "GET /echo/q?u=https://127.0.0.1/x HTTP/1.1");

    // A secure address with a port: the secure handshake arrives on that port.
    const int before = ServerCounter("tls");
    ASSERT_GE(before, 0);
    HttpRequestInput secure;
    secure.address = Text("https://127.0.0.1:" + std::to_string(webtest::ServerPort()) + "/echo/tls");
    const HttpResponse response = Exchange(secure);
    EXPECT_TRUE(response.body.empty());
    EXPECT_GT(ServerCounter("tls"), before);
}

TEST(EngineOnTheWire, LongHeaderBlockComesBackWhole) {
    const HttpResponse response = Exchange(Get("/bigheaders?bytes=6000"));
    EXPECT_GT(response.headers.size(), 6000u);
    EXPECT_EQ(response.headers.str().rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_NE(TextFind(response.headers, "X-Filler-0000: "), -1);
    // The block's last line and its end survive.
    EXPECT_EQ(TextRight(response.headers, 14), Text("\r\nX-End: 1\r\n\r\n"));
}

TEST(EngineOnTheWire, BodiesComeBackByteForByte) {
    for (int size : {0, 1, 2047, 2048, 2049, 65536, 3000001}) {
        const HttpResponse response = Exchange(Get("/big?bytes=" + std::to_string(size)));
        ASSERT_EQ(response.body.size(), static_cast<std::size_t>(size));
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < response.body.size(); ++i) {
            wrong += response.body[i] != i % 251;
        }
        EXPECT_EQ(wrong, 0u) << size;
    }
}

TEST(EngineOnTheWire, DeclaredLengthDoesNotDecideTheBody) {
    // A length far beyond what is sent only sizes the first allocation: the body is the
    // bytes that came before the server closed.
    const HttpResponse response = Exchange(Get("/lie?declared=4000000000&bytes=3000"));
    EXPECT_EQ(response.body.size(), 3000u);
    EXPECT_EQ(response.body, Exchange(Get("/big?bytes=3000")).body);
}

TEST(EngineOnTheWire, FailuresGiveEmptyResults) {
    struct Case {
        Text address;
    } cases[] = {
        {"http://127.0.0.1:1/refused"},    // nothing listens
        {"http://127.0.0.1:70000/range"},  // no such port
        {""},
    };
    for (const Case& c : cases) {
        HttpRequestInput in;
        in.address = c.address;
        const HttpResponse response = Exchange(in);
        EXPECT_TRUE(response.body.empty()) << c.address.str();
        EXPECT_TRUE(response.headers.empty()) << c.address.str() << " [" << response.headers.str() << "]";
        EXPECT_TRUE(response.receivedCookies.empty()) << c.address.str();
    }
}

// ---- the system cookie store (own process) ----

TEST(CookieStore, ReceivedCookiesInHeaderOrder) {
    const HttpResponse two = Exchange(Get("/cookies?set=a%3D1%3B%20path%3D%2Fck&set=b%3D2%3B%20path%3D%2Fck"));
    EXPECT_EQ(two.receivedCookies, Text("a=1;b=2;"));
    EXPECT_NE(TextFind(two.headers, "Set-Cookie: a=1; path=/ck\r\n"), -1);

    const HttpResponse none = Exchange(Get("/echo/none"));
    EXPECT_TRUE(none.receivedCookies.empty());
}

TEST(CookieStore, ACookieWithoutSemicolonIsStoredAndSentLater) {
    const HttpResponse set = Exchange(Get("/cookies?set=plain%3Dx"));
    EXPECT_EQ(set.receivedCookies, Text(";"));
    const EchoedRequest later = ParseEcho(Exchange(Get("/echo/later")).body);
    ASSERT_EQ(later.Values("Cookie").size(), 1u);
    EXPECT_NE(later.Values("Cookie")[0].find("plain=x"), std::string::npos) << later.Values("Cookie")[0];
}

TEST(CookieStore, CallerCookiesGoAlone) {
    // Something in the store for every path of this host.
    Exchange(Get("/cookies?set=stored%3D1%3B%20path%3D%2F"));
    HttpRequestInput in = Get("/cookies/own?set=unwanted%3D1%3B%20path%3D%2Fown");
    in.cookies = "mine=1";
    const HttpResponse own = Exchange(in);
    EXPECT_EQ(ParseEcho(own.body).Values("Cookie"), std::vector<std::string>{"mine=1"});
    // The engine stores what it received even so.
    EXPECT_EQ(own.receivedCookies, Text("unwanted=1;"));
}

TEST(CookieStore, CookiesPastTheFirstHeaderBufferAreKept) {
    const HttpResponse response = Exchange(Get("/bigheaders?bytes=5000&set=late%3D7%3B%20path%3D%2Flate"));
    EXPECT_GT(response.headers.size(), 5000u);
    EXPECT_EQ(response.receivedCookies, Text("late=7;"));
    const EchoedRequest later = ParseEcho(Exchange(Get("/late/echo")).body);
    ASSERT_EQ(later.Values("Cookie").size(), 1u);
    EXPECT_NE(later.Values("Cookie")[0].find("late=7"), std::string::npos);
}

}  // namespace
}  // namespace ql
