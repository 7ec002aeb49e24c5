#include "text/codepage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace ql {
namespace {

std::string Hex(std::u16string_view units) {
    std::string s;
    char buf[8];
    for (char16_t u : units) {
        std::snprintf(buf, sizeof buf, "%04X ", static_cast<unsigned>(u));
        s += buf;
    }
    return s;
}

std::string Hex(std::string_view bytes) {
    std::string s;
    char buf[4];
    for (unsigned char b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X ", b);
        s += buf;
    }
    return s;
}

// Every row holds in both builds: the Windows test program runs them against the system's
// converter under code pages 1252 and 936, the native one against ours.
TEST(CodePage, Decode) {
    using std::string_literals::operator""s;
    struct Case {
        std::uint32_t cp;
        std::string bytes;
        std::u16string want;
    } cases[] = {
        {kCodePageUtf8, "\xE7\x89\x88", u"\u7248"},
        {kCodePageUtf8, "\xC3\x28", u"\uFFFD("},
        {kCodePageUtf8, "\xE7\x89\x41", u"\uFFFDA"},
        {kCodePageUtf8, "\x80\x80\x41", u"\uFFFD\uFFFDA"},
        {kCodePageUtf8, "\xC0\xAF", u"\uFFFD\uFFFD"},      // overlong "/"
        {kCodePageUtf8, "\xE0\x80\xAF", u"\uFFFD\uFFFD"},  // overlong, three bytes
        {kCodePageUtf8, "\xED\xA0\x80", u"\uFFFD\uFFFD"},  // an encoded surrogate
        {kCodePageUtf8, "\xF0\x90\x80\x80", u"\U00010000"},
        {kCodePageUtf8, "\xF0\x90\x80\x41", u"\uFFFDA"},
        {kCodePageUtf8, "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
        {kCodePageUtf8, "\xF5\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {kCodePageUtf8, "\xFF\x41", u"\uFFFDA"},
        {kCodePageUtf8, "\xEF\xBB\xBF\x41", u"\uFEFFA"},  // a byte-order mark is a character
        {kCodePageUtf8, "\xE7\x89", u"\uFFFD"},           // cut short by the end
        {kCodePageUtf8, "\xC2", u"\uFFFD"},
        {kCodePageUtf8, "a\0b"s, u"a\0b"s},
        {kCodePageUtf8, "", u""},
        {kCodePageGbk, "\xB0\xE6", u"\u7248"},
        {kCodePageGbk, "\x81\x20", u"?"},  // the space goes with the bad pair
        {kCodePageGbk, "\x81\x7F", u"?"},
        {kCodePageGbk, "\x81", u"?"},
        {kCodePageGbk, "A\x81", u"A?"},
        {kCodePageGbk, "\x81\0A"s, u"?\0A"s},  // a zero byte is never swallowed
        {kCodePageGbk, "\x80", u"\u20AC"},
        {kCodePageGbk,
         "\xFF"
         "A",
         u"\uF8F5A"},
        {kCodePageBig5, "\xBA\xF4\xAD\xB6", u"\u7DB2\u9801"},  // 網頁
        {kCodePageBig5, "\xA1\x40", u"\u3000"},
        {kCodePageBig5, "\xA1\x20", u"?"},
        {kCodePageBig5, "\xA1", u"?"},
        {kCodePageBig5, "\x80", u"\u0080"},
        {1252, "\x81\x80\xFF", u"\u0081\u20AC\u00FF"},
        {12345, "abc", u""},  // no such code page
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Hex(DecodeCodePage(c.cp, c.bytes)), Hex(c.want)) << "code page " << c.cp << ": " << Hex(c.bytes);
    }
}

TEST(CodePage, Encode) {
    using std::string_literals::operator""s;
    constexpr std::size_t none = std::string::npos;
    struct Case {
        std::uint32_t cp;
        std::u16string units;
        std::uint32_t flags;
        std::string want;
        std::size_t firstUnmapped, bytesBefore;
    } cases[] = {
        {kCodePageGbk, u"\u7248", 0, "\xB0\xE6", none, 2},
        {kCodePageGbk, u"a\u0E01b", 0, "a?b", 1, 1},  // Thai ko kai has no GBK form
        {kCodePageGbk, u"\u7248\u0E01\u0E01", 0, "\xB0\xE6??", 1, 2},
        {kCodePageGbk, u"\U0001F600", 0, "??", 0, 0},  // a pair without a form
        {kCodePageGbk,
         u"\xD800"
         "A",
         0, "?A", 0, 0},  // a lone surrogate
        {kCodePageGbk, u"\xDC00", 0, "?", 0, 0},
        {kCodePageGbk, u"\uFFFD", 0, "?", 0, 0},
        {kCodePageGbk, u"a\0b"s, 0, "a\0b"s, none, 3},
        {kCodePageGbk, u"\u00FC", 0, "\xA8\xB9", none, 2},
        {kCodePageGbk, u"u\u0308", 0, "u?", 1, 1},
        {kCodePageGbk, u"u\u0308", kEncodeCompositeCheck, "\xA8\xB9", none, 2},
        {kCodePageGbk, u"e\u0301x", kEncodeCompositeCheck, "\xA8\xA6x", none, 3},
        {kCodePageGbk, u"\u304B\u3099", kEncodeCompositeCheck, "\xA4\xAC", none, 2},  // か + voiced mark
        {kCodePageGbk, u"", 0, "", none, 0},
        {kCodePageUtf8,
         u"\xD800"
         "A",
         0,
         "\xEF\xBF\xBD"
         "A",
         none, 4},
        {kCodePageUtf8, u"\U0001F600", 0, "\xF0\x9F\x98\x80", none, 4},
        {kCodePageUtf8, u"\xDC00\xD800", 0, "\xEF\xBF\xBD\xEF\xBF\xBD", none, 6},
        {kCodePageUtf8, u"u\u0308", kEncodeCompositeCheck, "u\xCC\x88", none, 3},
        {kCodePageBig5, u"\u7DB2\u9801", 0, "\xBA\xF4\xAD\xB6", none, 4},
        {kCodePageBig5, u"\u0E01", 0, "?", 0, 0},
        {1252, u"\u4E2D", 0, "?", 0, 0},
        {1252, u"\u20AC\u0081", 0, "\x80\x81", none, 2},
    };
    for (const Case& c : cases) {
        const Encoded e = EncodeCodePage(c.cp, c.units, c.flags);
        EXPECT_EQ(Hex(e.bytes), Hex(c.want)) << "code page " << c.cp << ": " << Hex(c.units);
        EXPECT_EQ(e.firstUnmapped, c.firstUnmapped) << "code page " << c.cp << ": " << Hex(c.units);
        EXPECT_EQ(e.bytesBeforeUnmapped, c.bytesBefore) << "code page " << c.cp << ": " << Hex(c.units);
    }
}

// The first unit without a form is found wherever it stands in a long buffer, also when a
// base character and its mark or a surrogate pair straddle the 64-unit steps of the search.
TEST(CodePage, FirstUnmappedInLongText) {
    for (std::size_t at : {0u, 1u, 63u, 64u, 65u, 200u, 4095u}) {
        std::u16string units(at, u'\u7248');
        units += u"\u0E01";
        units += std::u16string(100, u'a');
        const Encoded e = EncodeCodePage(kCodePageGbk, units);
        EXPECT_EQ(e.firstUnmapped, at);
        EXPECT_EQ(e.bytesBeforeUnmapped, 2 * at);
        EXPECT_EQ(e.bytes.size(), 2 * at + 1 + 100);
    }
    for (std::size_t at : {62u, 63u, 64u}) {
        std::u16string units(at, u'a');
        units += u"u\u0308\U0001F600";
        const Encoded e = EncodeCodePage(kCodePageGbk, units, kEncodeCompositeCheck);
        EXPECT_EQ(e.bytes, std::string(at, 'a') + "\xA8\xB9??");
        EXPECT_EQ(e.firstUnmapped, at + 2) << at;
        EXPECT_EQ(e.bytesBeforeUnmapped, at + 2) << at;
    }
}

// Code page 0 is whatever the system's is: 1252 natively and in Wine's default set-up, 936
// under a Chinese locale. ASCII is the same in all of them.
TEST(CodePage, SystemCodePage) {
    const std::uint32_t system = SystemCodePage();
    EXPECT_TRUE(system == 1252 || system == 936) << system;
    const std::string bytes = "plain ASCII \x80\xB0\xE6";
    EXPECT_EQ(DecodeCodePage(kCodePageSystem, bytes), DecodeCodePage(system, bytes));
    EXPECT_EQ(EncodeCodePage(kCodePageSystem, u"abc \u20AC").bytes, EncodeCodePage(system, u"abc \u20AC").bytes);
    EXPECT_EQ(EncodeCodePage(kCodePageSystem, u"abc").bytes, "abc");
}

TEST(CodePage, Utf16Bytes) {
    EXPECT_EQ(Utf16ToBytes(u"\u4E2DA"), (ByteSet{0x2D, 0x4E, 0x41, 0x00}));
    const ByteSet odd = {0x2D, 0x4E, 0x41};
    EXPECT_EQ(Utf16FromBytes(odd.data(), odd.size()), u"\u4E2D");
    EXPECT_EQ(Utf16FromBytes(nullptr, 0), u"");
}

// Arbitrary bytes never break a converter, and round trips keep what has a form.
TEST(CodePage, ArbitraryBytes) {
    std::mt19937 random(12345);
    for (int round = 0; round < 300; ++round) {
        std::string bytes(random() % 64, '\0');
        for (char& b : bytes) {
            b = static_cast<char>(random() & 0xFF);
        }
        for (std::uint32_t cp : {kCodePageUtf8, kCodePageGbk, kCodePageBig5, std::uint32_t{1252}}) {
            const std::u16string units = DecodeCodePage(cp, bytes);
            EXPECT_LE(units.size(), bytes.size());
            const Encoded e = EncodeCodePage(cp, units);
            if (e.firstUnmapped == std::string::npos && cp == kCodePageUtf8) {
                EXPECT_EQ(DecodeCodePage(cp, e.bytes), units);
            }
            EXPECT_LE(e.bytesBeforeUnmapped, e.bytes.size());
        }
    }
}

// Long inputs are converted in pieces; the pieces must not change a single byte, whether
// the input has ASCII to cut at or long runs without any, valid or broken sequences.
TEST(CodePage, Utf8ToCodePageInPiecesMatchesWholeConversion) {
    const std::string zhong = "\xE4\xB8\xAD";
    const std::string broken = "\xE4\xB8";  // cut short, then followed by more
    std::string mixed;
    while (mixed.size() < 200 * 1024) {
        mixed += "abc %41 " + zhong + zhong + broken + "u\xCC\x88\n";
    }
    std::string noAscii;
    while (noAscii.size() < 100 * 1024) {
        noAscii += zhong + (noAscii.size() % 7 == 0 ? broken : "");
    }
    noAscii += "tail" + zhong + "\xE4";
    for (const std::string* input : {&mixed, &noAscii}) {
        for (std::uint32_t flags : {0u, kEncodeCompositeCheck}) {
            const std::string whole = EncodeCodePage(kCodePageGbk, DecodeCodePage(kCodePageUtf8, *input), flags).bytes;
            EXPECT_EQ(Utf8ToCodePage(*input, kCodePageGbk, flags), whole) << input->size();
        }
    }
    EXPECT_EQ(Utf8ToCodePage("", kCodePageGbk), "");
}

}  // namespace
}  // namespace ql
