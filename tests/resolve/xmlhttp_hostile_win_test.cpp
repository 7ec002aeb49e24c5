// The parse service's fetch (XMLHTTP) against hostile services, the local test server's modes
// (tests/web/http_test_server.py, started beside this program by run_with_server.py): however
// the service misbehaves, the fetch ends within its limit and a little, and gives no page.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "resolve/xmlhttp.h"
#include "tests/web/server_helpers_win.h"

namespace ql {
namespace {

using webtest::AsString;
using webtest::NowMs;
using webtest::ServerUrl;

TEST(FetchPageViaXmlHttp, HostileServicesEndWithinTheLimit) {
    constexpr std::int64_t kLimitMs = 3000;
    // What "a little" past the limit may take: Wine's component reads on after the abort.
    constexpr double kSlackMs = 5000;
    const char* const modes[] = {
        "/endless?framing=length",
        "/endless?framing=close",
        "/endless?framing=chunked",
        "/hang",
        "/cookies?count=5000",
        "/bigheaders?bytes=2097152",
        "/loop",
        "/lie?declared=100000&bytes=1000",
        "/body?hex=",
        "/close",
    };
    for (const char* mode : modes) {
        Text address = ServerUrl(mode);
        const double start = NowMs();
        const std::string got = AsString(FetchPageViaXmlHttp(address, kLimitMs));
        const double elapsed = NowMs() - start;
        EXPECT_LT(elapsed, kLimitMs + kSlackMs) << mode;
        // None of the modes sends a reply page; whatever came back holds none of its marker.
        EXPECT_EQ(got.find("<input type=\"hidden\" name=\"inf\""), std::string::npos) << mode;
    }
}

}  // namespace
}  // namespace ql
