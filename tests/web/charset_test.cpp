#include "web/charset.h"

#include <gtest/gtest.h>

#include "web/t2s_table.h"

namespace ql {
namespace {

TEST(Charset, Utf8TextToGbk) {
    struct Case {
        Text utf8, want;
    } cases[] = {
        {"\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},  // 中文
        {"plain ASCII", "plain ASCII"},
        {"\xC3\x28", "?("},
        {"\xE0\xB8\x81", "?"},  // Thai ko kai has no GBK form
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8TextToGbk(c.utf8), c.want) << c.utf8.str();
    }
    // A body handed over as a text ends at its first zero byte.
    const ByteSet body = {0xE4, 0xB8, 0xAD, 0x00, 0xE6, 0x96, 0x87};
    EXPECT_EQ(Utf8TextToGbk(BytesToText(body)), "中");
}

TEST(Charset, Big5) {
    struct Case {
        Text big5, gbk, simplified;
    } cases[] = {
        {"\xBA\xF4\xAD\xB6", "網頁", "网页"},
        {"ABC \xBA\xF4", "ABC 網", "ABC 网"},
        // U+2027 (Big5 A1 45) has no GBK form: the text ends before it.
        {"\xBA\xF4\xA1\x45\xAD\xB6", "網", "网"},
        {"abc\xA1\x45", "abc", "abc"},
        {"\xA1\x45xyz", "", ""},
        {"\xA1\x20x", "?x", "?x"},  // an invalid pair is one "?", which GBK has
        {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Big5ToGbk(c.big5), c.gbk) << c.big5.str();
        EXPECT_EQ(Big5ToSimplifiedGbk(c.big5), c.simplified) << c.big5.str();
    }
}

TEST(Charset, ToSimplifiedChinese) {
    struct Case {
        Text in, want;
    } cases[] = {
        {"plain ASCII 123 <a href=\"x\">", "plain ASCII 123 <a href=\"x\">"},
        {"網頁", "网页"},
        {"體育後來", "体育后来"},
        {"中文", "中文"},    // already simplified
        {"W網W", "W网W"},    // 網 is BE 57: its trail byte is not an ASCII "W"
        {"a\xBE", "a\xBE"},  // a lead byte at the end stays
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToSimplifiedChinese(c.in), c.want) << c.in.str();
    }
}

// The table must be sorted for its binary search and must keep every text's byte length.
TEST(Charset, SimplifiedTableIsSortedAndKeepsLengths) {
    ASSERT_GT(kTraditionalToSimplifiedCount, 2000u);
    for (std::size_t i = 0; i < kTraditionalToSimplifiedCount; ++i) {
        const GbkPair& p = kTraditionalToSimplified[i];
        if (i > 0) {
            EXPECT_LT(kTraditionalToSimplified[i - 1].traditional, p.traditional);
        }
        EXPECT_GE(p.traditional >> 8, 0x81);
        EXPECT_GE(p.simplified >> 8, 0x81);
        const char t[] = {static_cast<char>(p.traditional >> 8), static_cast<char>(p.traditional & 0xFF), '\0'};
        const char s[] = {static_cast<char>(p.simplified >> 8), static_cast<char>(p.simplified & 0xFF), '\0'};
        EXPECT_EQ(ToSimplifiedChinese(t), Text(s));
    }
}

TEST(Charset, Utf16Bytes) {
    EXPECT_EQ(MultiByteToUtf16Bytes("中文", kCodePageGbk), (ByteSet{0x2D, 0x4E, 0x87, 0x65, 0, 0}));
    EXPECT_EQ(MultiByteToUtf16Bytes("\xE4\xB8\xAD"), (ByteSet{0x2D, 0x4E, 0, 0}));
    EXPECT_EQ(MultiByteToUtf16Bytes(""), ByteSet());

    EXPECT_EQ(Utf16BytesToMultiByte({0x2D, 0x4E, 0x87, 0x65, 0, 0}, kCodePageGbk), "中文");
    EXPECT_EQ(Utf16BytesToMultiByte({0x2D, 0x4E, 0x87, 0x65}, kCodePageGbk), "中文");  // no terminator
    EXPECT_EQ(Utf16BytesToMultiByte({'A', 0, 0, 0, 'B', 0}, kCodePageGbk), "A");
    EXPECT_EQ(Utf16BytesToMultiByte({'A', 0, 'B', 0, 0}), "AB");  // odd byte ignored
    EXPECT_EQ(Utf16BytesToMultiByte({0xE9, 0x00}, 1252), "\xE9");
    EXPECT_EQ(Utf16BytesToMultiByte({0x2D, 0x4E}, 1252), "?");
    EXPECT_EQ(Utf16BytesToMultiByte(ByteSet()), "");
    // Code page 0 follows the system: 1252 natively and under Wine's default, 936 under Chinese.
    const ByteSet zhong = {0x2D, 0x4E, 0, 0};
    EXPECT_EQ(Utf16BytesToMultiByte(zhong), Utf16BytesToMultiByte(zhong, SystemCodePage()));
}

// GBK to UTF-16 to UTF-8 and back gives the same text whatever the system code page is.
TEST(Charset, RoundTripThroughUtf8) {
    const Text title = "青岚综合视频下载精灵 v1.0";
    const Text utf8 = Utf16BytesToMultiByte(MultiByteToUtf16Bytes(title, kCodePageGbk), kCodePageUtf8);
    EXPECT_EQ(utf8.size(), 3u * 10 + 5);
    EXPECT_EQ(Utf8TextToGbk(utf8), title);
}

TEST(Charset, Buffers) {
    EXPECT_EQ(ZeroBytes(3), (ByteSet{0, 0, 0}));
    EXPECT_EQ(ZeroBytes(0), ByteSet());
    EXPECT_EQ(ZeroBytes(-1), ByteSet());
    EXPECT_EQ(SpaceText(3), "   ");
    EXPECT_EQ(SpaceText(0), "");
    EXPECT_EQ(SpaceText(-2), "");
}

}  // namespace
}  // namespace ql
