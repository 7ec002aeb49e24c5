#include "text/utf8_posix.h"

#include <cstddef>
#include <cstdint>

namespace ql {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// One sequence starting at s[i] (a byte of 0x80 or more); advances i past the bytes it takes
// and returns the code point, or ~0 for an invalid sequence. A continuation byte is taken
// into the sequence before the range of the value is judged, so "E0 80" and "ED A0" are one
// invalid sequence each, and "F4 90" too: that is how the Windows decoder counts.
std::uint32_t DecodeUtf8Sequence(std::string_view s, std::size_t& i) {
    const unsigned char lead = static_cast<unsigned char>(s[i++]);
    const int len = (lead >= 0xC2 && lead <= 0xDF)   ? 1
                    : (lead >= 0xE0 && lead <= 0xEF) ? 2
                    : (lead >= 0xF0 && lead <= 0xF4) ? 3
                                                     : 0;
    static constexpr unsigned char kMask[4] = {0x7F, 0x1F, 0x0F, 0x07};
    std::uint32_t res = lead & kMask[len];
    // A sequence cut short by the end takes the continuation bytes that are there.
    auto next = [&](std::uint32_t& c) {
        if (i >= s.size()) {
            return false;
        }
        c = static_cast<unsigned char>(s[i]) ^ 0x80u;
        return c < 0x40;
    };
    std::uint32_t c = 0;
    switch (len) {
        case 3:
            if (!next(c)) break;
            res = (res << 6) | c;
            ++i;
            if (res < 0x10) break;  // overlong four-byte form
            [[fallthrough]];
        case 2:
            if (!next(c)) break;
            res = (res << 6) | c;
            if (res >= (0x110000 >> 6)) break;  // beyond U+10FFFF: this byte is not taken
            ++i;
            if (res < 0x20) break;                                    // overlong three-byte form
            if (res >= (0xD800 >> 6) && res <= (0xDFFF >> 6)) break;  // encoded surrogate
            [[fallthrough]];
        case 1:
            if (!next(c)) break;
            res = (res << 6) | c;
            ++i;
            return res;
        default:
            break;
    }
    return ~0u;
}

}  // namespace

std::u16string DecodeUtf8(std::string_view s) {
    // Never more units than bytes: written by index into a buffer sized once.
    std::u16string out(s.size(), u'\0');
    char16_t* o = out.data();
    std::size_t i = 0;
    while (i < s.size()) {
        // ASCII runs are the common case of every page this program reads.
        const unsigned char b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            *o++ = b;
            ++i;
            continue;
        }
        const std::uint32_t cp = DecodeUtf8Sequence(s, i);
        if (cp == ~0u) {
            *o++ = kReplacement;
        } else if (cp < 0x10000) {
            *o++ = static_cast<char16_t>(cp);
        } else {
            *o++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            *o++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

std::string EncodeUtf8(std::u16string_view units) {
    std::string out;
    out.reserve(units.size() * 3);
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t cp = units[i];
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;  // a lone surrogate
        }
        if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        }
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    return out;
}

}  // namespace ql
