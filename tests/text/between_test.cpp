#include "text/between.h"

#include <gtest/gtest.h>

namespace ql {
namespace {

TEST(TextBetween, Table) {
    const Text notice = "blog text 版本:20130416;more 地址:example.test/qlw.rar;end";
    struct Case {
        Text source, left, right;
        std::optional<std::int32_t> start;
        bool caseSensitive;
        const char* want;
    } cases[] = {
        {notice, "版本:", ";", std::nullopt, false, "20130416"},
        {notice, "地址:", ";", std::nullopt, false, "example.test/qlw.rar"},
        {"no marker here", "版本:", ";", std::nullopt, false, ""},
        {"", "版本:", ";", std::nullopt, false, ""},
        {"a;b 版本:123", "版本:", ";", std::nullopt, false, ""},  // right marker only before the left
        {"[]", "[", "]", std::nullopt, false, ""},
        {"x|y|z", "|", "|", std::nullopt, false, "y"},
        {"<a href=\"u\">", "href=#引号", "#引号", std::nullopt, false, "u"},
        {"x #引号y#引号 z", "#引号", "#引号", std::nullopt, false, ""},  // the source is never substituted
        {"User-Agent: Bot\r\n", "user-agent:", "\r\n", std::nullopt, false, " Bot"},
        {"User-Agent: Bot\r\n", "user-agent:", "\r\n", std::nullopt, true, ""},
        {"abc", "a", "", std::nullopt, false, ""},
        {"[1][2]", "[", "]", std::nullopt, false, "1"},
        {"[1][2]", "[", "]", 2, false, "2"},
        {"版本：20991231;", "版本:", ";", std::nullopt, false, ""},  // full-width colon is another marker
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextBetween(c.source, c.left, c.right, c.start, c.caseSensitive).str(), c.want)
            << "source '" << c.source.str() << "' left '" << c.left.str() << "'";
    }
}

}  // namespace
}  // namespace ql
