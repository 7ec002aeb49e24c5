#include "text/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ql {
namespace {

TEST(Text, LiteralsAreGbkBytes) {
    // The build turns every narrow literal into GBK: 获取下载 is BB F1 C8 A1 CF C2 D4 D8.
    const Text t = "获取下载";
    const ByteSet expected = {0xBB, 0xF1, 0xC8, 0xA1, 0xCF, 0xC2, 0xD4, 0xD8};
    EXPECT_EQ(TextToBytes(t), expected);
    EXPECT_EQ(TextLength("版"), 2);
}

TEST(Text, NeverHoldsAZeroByte) {
    using namespace std::string_literals;
    EXPECT_EQ(Text("ab\0cd"s).str(), "ab");
    EXPECT_EQ(Text(std::string_view("ab\0cd", 5)).str(), "ab");
    Text t = "x";
    t += std::string_view("y\0z", 3);
    t.push_back('\0');
    EXPECT_EQ(t.str(), "xy");
    EXPECT_EQ(Text(static_cast<const char*>(nullptr)), Text());
}

TEST(Text, Compare) {
    struct Case {
        Text a, b;
        int want;
    } cases[] = {
        {Text(static_cast<const char*>(nullptr)), "", 0},
        {"a", "b", -1},
        {"b", "a", 1},
        {"ab", "abc", -1},
        {"abc", "ab", 1},
        {"\xB0", "A", 1},  // unsigned byte order
        {"same", "same", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextCompare(c.a, c.b), c.want) << c.a.str() << " vs " << c.b.str();
    }
}

TEST(Text, Join) {
    EXPECT_EQ(TextJoin(Text(), Text()), Text());
    EXPECT_EQ(TextJoin("a", Text("b"), std::string("c"), "").str(), "abc");
    EXPECT_EQ(TextJoin("only").str(), "only");
}

TEST(Text, Find) {
    struct Case {
        Text text, sought;
        std::optional<std::int32_t> start;
        bool ignoreCase;
        std::int32_t want;
    } cases[] = {
        {"abab", "b", std::nullopt, false, 2},
        {"abab", "b", 3, false, 4},
        {"abab", "b", 5, false, -1},
        {"abab", "x", std::nullopt, false, -1},
        {"ABAB", "b", std::nullopt, false, -1},
        {"ABAB", "b", std::nullopt, true, 2},
        {"abab", "b", 0, false, 2},
        {"abab", "b", -7, false, 2},
        {"abab", "", std::nullopt, false, -1},
        {"", "a", std::nullopt, false, -1},
        {"xUser-Agent: y", "user-agent:", std::nullopt, true, 2},
        {"aaa", "aa", 2, false, 2},
        {"abc", "abcd", std::nullopt, false, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextFind(c.text, c.sought, c.start, c.ignoreCase), c.want)
            << "find '" << c.sought.str() << "' in '" << c.text.str() << "'";
    }
}

TEST(Text, LeftRightMidClamp) {
    const Text abc = "abc";
    EXPECT_EQ(TextRight(abc, 5).str(), "abc");
    EXPECT_EQ(TextRight(abc, 2).str(), "bc");
    EXPECT_EQ(TextRight(abc, -1).str(), "");
    EXPECT_EQ(TextLeft(abc, 0).str(), "");
    EXPECT_EQ(TextLeft(abc, 2).str(), "ab");
    EXPECT_EQ(TextLeft(abc, 99).str(), "abc");
    EXPECT_EQ(TextMid(abc, 4, 1).str(), "");
    EXPECT_EQ(TextMid(abc, 2, 1).str(), "b");
    EXPECT_EQ(TextMid(abc, 2, 99).str(), "bc");
    EXPECT_EQ(TextMid(abc, 0, 2).str(), "ab");
    EXPECT_EQ(TextMid(abc, 1, 0).str(), "");
    EXPECT_EQ(TextMid(abc, std::numeric_limits<std::int32_t>::max(), 1).str(), "");
}

TEST(Text, Replace) {
    struct Case {
        Text text, from, to;
        std::optional<std::int32_t> start, count;
        bool ignoreCase;
        const char* want;
    } cases[] = {
        {"a-b-c", "-", "+", std::nullopt, std::nullopt, false, "a+b+c"},
        {"a-b-c", "-", "", std::nullopt, std::nullopt, false, "abc"},
        {"a-b-c", "-", "--", std::nullopt, std::nullopt, false, "a--b--c"},  // no rescanning
        {"a-b-c", "-", "+", 3, std::nullopt, false, "a-b+c"},
        {"a-b-c", "-", "+", std::nullopt, 1, false, "a+b-c"},
        {"a-b-c", "-", "+", std::nullopt, 0, false, "a-b-c"},
        {"aaaa", "aa", "b", std::nullopt, std::nullopt, false, "bb"},
        {"xAx", "a", "b", std::nullopt, std::nullopt, true, "xbx"},
        {"xAx", "a", "b", std::nullopt, std::nullopt, false, "xAx"},
        {"abc", "", "z", std::nullopt, std::nullopt, false, "abc"},
        {"href=#引号x", "#引号", "\"", std::nullopt, std::nullopt, false, "href=\"x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextReplace(c.text, c.from, c.to, c.start, c.count, c.ignoreCase).str(), c.want) << c.text.str();
    }
}

TEST(Text, CaseAndTrim) {
    EXPECT_EQ(TextUpper("abZ9-\xB0\xE6").str(), "ABZ9-\xB0\xE6");
    EXPECT_EQ(TextLower("ABz9-\xB0\xE6").str(), "abz9-\xB0\xE6");
    EXPECT_EQ(TextTrim("  a b  ").str(), "a b");
    EXPECT_EQ(TextTrim("    ").str(), "");
    EXPECT_EQ(TextTrim("\ta\t").str(), "\ta\t");  // only spaces are blanks here
}

TEST(Text, Numbers) {
    struct Case {
        const char* text;
        double want;
    } cases[] = {
        {"", 0.0},         {"20130415", 20130415.0},
        {"-3.5", -3.5},    {"+7", 7.0},
        {"  42abc", 42.0}, {"abc", 0.0},
        {".5", 0.5},       {"1e5", 1.0},
        {"0x10", 0.0},     {"-", 0.0},
        {"3.", 3.0},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(TextToNumber(c.text), c.want) << c.text;
    }
    EXPECT_EQ(TruncateToInteger(-0.5), 0);
    EXPECT_EQ(TruncateToInteger(2.999), 2);
    EXPECT_EQ(TruncateToInteger(3.9), 3);
    EXPECT_EQ(TruncateToInteger(-3.9), -3);
    EXPECT_EQ(TruncateToInteger(std::nan("")), 0);
    EXPECT_EQ(TruncateToInteger(1e300), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(TruncateToInteger(-1e300), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(TextFromNumber(-12).str(), "-12");
}

TEST(Text, Bytes) {
    const ByteSet withZero = {'a', 'b', 0, 'c'};
    EXPECT_EQ(BytesToText(withZero).str(), "ab");
    EXPECT_EQ(BytesToText(ByteSet()).str(), "");
    EXPECT_EQ(ByteSetAsText(ByteSet{'x'}).str(), "x");
    EXPECT_EQ(TextToBytes("ab"), (ByteSet{'a', 'b'}));
    EXPECT_EQ(BytesOf(std::string_view("a\0b", 3)), (ByteSet{'a', 0, 'b'}));
    EXPECT_EQ(CharFromCode(0), Text());
    EXPECT_EQ(TextJoin("ab", CharFromCode(0)).str(), "ab");
    EXPECT_EQ(CharFromCode(0x41).str(), "A");
    EXPECT_EQ(CharFromCode(0x1DE).str(), "\xDE");  // low 8 bits
    EXPECT_EQ(BlankByteSet(3), (ByteSet{0, 0, 0}));
    EXPECT_TRUE(BlankByteSet(-1).empty());
    EXPECT_EQ(ByteSetLength(withZero), 4);
    EXPECT_EQ(ElementCount(std::vector<Text>{"a", "b"}), 2);
    EXPECT_EQ(ElementCount(std::vector<Text>{}), 0);
}

}  // namespace
}  // namespace ql
