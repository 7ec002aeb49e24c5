// The XMLHTTP fetch against a real server on 127.0.0.1 (a Winsock server thread in this
// test program): the body must come back byte for byte, whatever the bytes are, whatever
// address form and apartment the caller has.
#include "resolve/xmlhttp.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "tests/resolve/xmlhttp_servers_win.h"

namespace ql {
namespace {

TEST(FetchPageViaXmlHttp, ReturnsTheBodyUnchanged) {
    std::string everyByte;
    for (int i = 0; i < 256; ++i) {
        everyByte.push_back(static_cast<char>(i));
    }
    std::string large;
    for (int i = 0; i < (1 << 20); ++i) {
        large.push_back(static_cast<char>((static_cast<unsigned>(i) * 7919u) >> 3));
    }
    struct Case {
        const char* name;
        std::string body;
        std::string status;
    } cases[] = {
        {"text", "<html>视频</html>", "200 OK"},
        {"zero bytes", std::string("a\0b\0\0c", 6), "200 OK"},
        {"not GBK", std::string("\x81\x20\xff\xfe\x80\x00\xa1", 7), "200 OK"},
        {"every byte value", everyByte, "200 OK"},
        {"one MiB", large, "200 OK"},
        {"empty", "", "200 OK"},
        {"error page", "<h1>not here</h1>", "404 Not Found"},
    };
    LocalServer server;
    int n = 0;
    for (const Case& c : cases) {
        server.Reply(c.body, c.status);
        const std::string path = "/page" + std::to_string(++n);
        Text address = TextJoin("http://", server.Base(), path);
        const ByteSet body = FetchPageViaXmlHttp(address);
        EXPECT_EQ(body.size(), c.body.size()) << c.name;
        EXPECT_TRUE(AsString(body) == c.body) << c.name;
        EXPECT_EQ(address.str(), "http://" + server.Base() + path) << c.name;
    }
    EXPECT_EQ(server.Requests().size(), std::size(cases));
}

TEST(FetchPageViaXmlHttp, PutsHttpInFrontOfAnAddressWithoutIt) {
    LocalServer server;
    server.Reply("ok");
    struct Case {
        std::string given;    // after which the server's address and the path follow
        std::string fetched;  // what the caller's text holds afterwards
    } cases[] = {
        {"", "http://"},
        {"HTTP://", "HTTP://"},
        {"hTtP://", "hTtP://"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string path = "/prefix" + std::to_string(++n);
        Text address = TextJoin(c.given, server.Base(), path);
        EXPECT_EQ(AsString(FetchPageViaXmlHttp(address)), "ok") << c.given;
        EXPECT_EQ(address.str(), c.fetched + server.Base() + path) << c.given;
        const std::vector<std::string> seen = server.Requests();
        ASSERT_EQ(seen.size(), static_cast<std::size_t>(n));
        EXPECT_EQ(seen.back(), "GET " + path + " HTTP/1.1");
    }
}

// Start-up may have put the thread into either apartment before the first fetch.
TEST(FetchPageViaXmlHttp, WorksWhateverApartmentTheThreadIsIn) {
    LocalServer server;
    server.Reply("in an apartment");
    for (DWORD model : {COINIT_APARTMENTTHREADED, COINIT_MULTITHREADED}) {
        std::string got;
        std::thread caller([&] {
            CoInitializeEx(nullptr, model);
            Text address = TextJoin("http://", server.Base(), "/apartment", std::to_string(model));
            got = AsString(FetchPageViaXmlHttp(address));
            got += AsString(FetchPageViaXmlHttp(address));
            CoUninitialize();
        });
        caller.join();
        EXPECT_EQ(got, "in an apartmentin an apartment") << "model " << model;
    }
}

}  // namespace
}  // namespace ql
