#include "text/url_decode.h"

#include <gtest/gtest.h>

namespace ql {
namespace {

TEST(UrlDecode, Table) {
    struct Case {
        Text in, want;
    } cases[] = {
        {"%E7%89%88", "版"},
        {"%e7%89%88", "版"},
        {"\xE7\x89\x88", "版"},    // the same bytes written raw
        {"%E7\x89%88本", "版??"},  // GBK bytes in the input are not UTF-8
        {"a+b%20c", "a+b c"},
        {"x%00y", "xy"},
        {"plain/path?q=1&r=2", "plain/path?q=1&r=2"},
        {"", ""},
        {"%4z", ">"},          // 4 x 16 - 2
        {"%zz", "?"},          // the byte DE alone is no UTF-8
        {"%%41xyz", "?1xyz"},  // "%%4" is the escape (-2 x 16 + 4 = 0xE4)
        {"100%", "100%"},      // escapes cut short by the end stay as written
        {"a%4", "a%4"},
        {"%", "%"},
        {"%C3%BC", "\xA8\xB9"},   // ü
        {"u%CC%88", "\xA8\xB9"},  // u + combining diaeresis, composed
        {"\xC3(", "?("},
        {"%F0%9F%98%80", "??"},  // no GBK form
        {"%E7%89%88%E6%9C%AC:1.0;", "版本:1.0;"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UrlDecode(c.in), c.want) << c.in.str();
    }
}

// A notice page saved as GBK cannot be read through the UTF-8 decoder: its markers are lost.
TEST(UrlDecode, GbkInputIsNotPreserved) {
    const Text page = "版本:20130415;地址:http://h/a.rar;";
    const Text decoded = UrlDecode(page);
    EXPECT_NE(decoded, page);
    EXPECT_EQ(TextFind(decoded, "版本:"), -1);
    EXPECT_EQ(TextFind(decoded, "地址:"), -1);
    EXPECT_EQ(UrlDecode("地址:"), "???:");
}

// Long pages are decoded and converted in parts: escapes and characters that straddle the
// part boundaries, and long runs without any ASCII byte, must come out whole.
TEST(UrlDecode, LongTexts) {
    struct Case {
        std::string unit, want;
        int count;
        const char* tail;
        const char* wantTail;
    } cases[] = {
        {"%E7%89%88ab", "版ab", 10000, "", ""},
        {"%E7%89%88", "版", 20000, "%4", "%4"},
        {"\xE7\x89\x88%E7%89%88x", "版版x", 7000, "\xE7\x89", "?"},
        {"u%CC%88 ", "\xA8\xB9 ", 9000, "u\xCC\x88", "\xA8\xB9"},
        {"\xE4\xB8\xAD\xE6\x96\x87", "中文", 20000, "\xE4\xB8", "?"},  // no ASCII byte at all
        {"\xE4\xB8\xAD\xCC\x88\xE4\xB8", "中??", 15000, "", ""},       // mark, broken sequence
    };
    for (const Case& c : cases) {
        std::string in, want;
        for (int k = 0; k < c.count; ++k) {
            in += c.unit;
            want += c.want;
        }
        in += c.tail;
        want += c.wantTail;
        const Text got = UrlDecode(Text(in));
        EXPECT_EQ(got.size(), want.size()) << c.unit;
        EXPECT_TRUE(got.str() == want) << c.unit;
    }
}

TEST(UrlDecode, Conversions) {
    const ByteSet zhongwen = BytesOf("\xE4\xB8\xAD\xE6\x96\x87");  // 中文 in UTF-8
    EXPECT_EQ(Utf8ToUtf16Bytes(zhongwen), (ByteSet{0x2D, 0x4E, 0x87, 0x65}));
    EXPECT_EQ(TextToBytes(Utf8ToGbk(zhongwen)), (ByteSet{0xD6, 0xD0, 0xCE, 0xC4}));
    EXPECT_EQ(Utf8ToUtf16Bytes(ByteSet()), ByteSet());
    EXPECT_EQ(Utf8ToUtf16Bytes(ByteSet{'a', 0, 'b'}), (ByteSet{'a', 0, 0, 0, 'b', 0}));
    EXPECT_EQ(Utf8ToGbk(ByteSet{'a', 0, 'b'}), "a");                            // the text ends at the zero
    EXPECT_EQ(Utf16BytesToGbk(ByteSet{0x2D, 0x4E, 0x87, 0x65, 0x41}), "中文");  // odd byte ignored
    EXPECT_EQ(Utf16BytesToGbk(ByteSet{'A', 0, 0, 0, 'B', 0}), "A");
    EXPECT_EQ(Utf16BytesToGbk(ByteSet()), "");
}

}  // namespace
}  // namespace ql
