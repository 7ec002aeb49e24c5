#include "text/wide.h"

#include <gtest/gtest.h>

namespace ql {
namespace {

// The screen edge must give the same wide text whatever the system code page is: this
// program runs under both 1252 and 936 in the test suite.
TEST(WideEdge, RoundTripsGbkIndependentOfSystemCodePage) {
    const Text title = "青岚综合视频下载精灵 v1.0";
    const std::wstring wide = WideFromGbk(title);
    EXPECT_EQ(wide, L"青岚综合视频下载精灵 v1.0");
    EXPECT_EQ(GbkFromWide(wide), title);
    EXPECT_EQ(WideFromGbk(Text()), L"");
    EXPECT_EQ(GbkFromWide(L""), Text());
    EXPECT_EQ(GbkFromWide(L"a\u0E01b").str(), "a?b");  // Thai ko kai has no GBK form
}

}  // namespace
}  // namespace ql
