#include "text/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace ql {

namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr char16_t kQuestion = u'?';

// ---- UTF-8, by hand: iconv stops at invalid input, and the replacement rules here must be
// those of the Windows decoder, sequence for sequence ----

// One sequence starting at s[i] (a byte of 0x80 or more); advances i past the bytes it takes
// and returns the code point, or ~0 for an invalid sequence. A continuation byte is taken
// into the sequence before the range of the value is judged, so "E0 80" and "ED A0" are one
// invalid sequence each, and "F4 90" too: that is how the Windows decoder counts.
std::uint32_t DecodeUtf8Sequence(std::string_view s, std::size_t& i) {
    const unsigned char lead = static_cast<unsigned char>(s[i++]);
    const int len = (lead >= 0xC2 && lead <= 0xDF) ? 1 : (lead >= 0xE0 && lead <= 0xEF) ? 2
                  : (lead >= 0xF0 && lead <= 0xF4) ? 3 : 0;
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
        if (res < 0x20) break;                           // overlong three-byte form
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

// ---- the other code pages through iconv ----

const char* IconvName(std::uint32_t codePage) {
    switch (codePage) {
    case kCodePageGbk: return "CP936";
    case kCodePageBig5: return "CP950";
    case 1252: return "WINDOWS-1252";
    default: return nullptr;
    }
}

std::uint32_t Resolve(std::uint32_t codePage) { return codePage == kCodePageSystem ? SystemCodePage() : codePage; }

// One open descriptor per thread, code page and direction: opening one loads a conversion
// module, which costs more than converting a short text.
class Converter {
public:
    static iconv_t Get(std::uint32_t codePage, bool toUtf16) {
        thread_local std::vector<Converter> open;
        for (Converter& c : open) {
            if (c.codePage_ == codePage && c.toUtf16_ == toUtf16) {
                iconv(c.cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
                return c.cd_;
            }
        }
        const char* name = IconvName(codePage);
        if (!name) {
            return reinterpret_cast<iconv_t>(-1);
        }
        iconv_t cd = toUtf16 ? iconv_open("UTF-16LE", name) : iconv_open(name, "UTF-16LE");
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            return cd;
        }
        open.push_back(Converter(codePage, toUtf16, cd));
        return cd;
    }

    Converter(Converter&& o) noexcept : codePage_(o.codePage_), toUtf16_(o.toUtf16_), cd_(o.cd_) {
        o.cd_ = reinterpret_cast<iconv_t>(-1);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    Converter& operator=(Converter&&) = delete;
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(cd_);
        }
    }

private:
    Converter(std::uint32_t codePage, bool toUtf16, iconv_t cd) : codePage_(codePage), toUtf16_(toUtf16), cd_(cd) {}
    std::uint32_t codePage_;
    bool toUtf16_;
    iconv_t cd_;
};

bool IsLeadByte(std::uint32_t codePage, unsigned char b) {
    return (codePage == kCodePageGbk || codePage == kCodePageBig5) && b >= 0x81 && b <= 0xFE;
}

// What the Windows tables give for a byte that iconv's tables leave out; 0 for "?".
char16_t SingleByteExtra(std::uint32_t codePage, unsigned char b) {
    if (codePage == kCodePageGbk && b == 0xFF) return 0xF8F5;
    if (codePage == kCodePageBig5 && b == 0x80) return 0x0080;
    if (codePage == kCodePageBig5 && b == 0xFF) return 0xF8F8;
    if (codePage == 1252 && (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D)) return b;
    return 0;
}

std::u16string DecodeIconv(std::uint32_t codePage, std::string_view bytes) {
    iconv_t cd = Converter::Get(codePage, true);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::u16string();
    }
    std::u16string out(bytes.size() + 8, u'\0');  // never more units than bytes
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* o = reinterpret_cast<char*>(out.data());
    std::size_t outLeft = out.size() * 2;
    auto put = [&](char16_t u) {
        std::copy_n(reinterpret_cast<const char*>(&u), 2, o);  // little-endian host
        o += 2;
        outLeft -= 2;
    };
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<std::size_t>(-1)) {
            break;
        }
        if (errno != EILSEQ && errno != EINVAL) {
            break;  // E2BIG cannot happen: the buffer holds a unit per byte
        }
        const unsigned char b = static_cast<unsigned char>(*in);
        std::size_t take = 1;
        char16_t u = SingleByteExtra(codePage, b);
        if (IsLeadByte(codePage, b)) {
            u = 0;
            if (inLeft > 1 && in[1] != '\0') {
                take = 2;  // the invalid pair is one character: the trail byte goes with it
            }
        }
        put(u ? u : kQuestion);
        in += take;
        inLeft -= take;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(out.size() - outLeft / 2);
    return out;
}

struct Composition {
    char16_t base, mark, composed;
};
constexpr Composition kGbkCompositions[] = {
#include "text/gbk_compose.inc"
};

inline bool IsCombiningMark(char16_t u) { return (u >= 0x0300 && u <= 0x036F) || u == 0x3099 || u == 0x309A; }

bool HoldsCombiningMark(std::u16string_view units) {
    bool found = false;
    for (char16_t u : units) {
        found |= IsCombiningMark(u);  // no early exit: the loop stays branch-free
    }
    return found;
}

char16_t Compose(char16_t base, char16_t mark) {
    const Composition key{base, mark, 0};
    const auto* end = std::end(kGbkCompositions);
    const auto* it = std::lower_bound(std::begin(kGbkCompositions), end, key, [](const Composition& a, const Composition& b) {
        return a.base != b.base ? a.base < b.base : a.mark < b.mark;
    });
    return (it != end && it->base == base && it->mark == mark) ? it->composed : 0;
}

Encoded EncodeIconv(std::uint32_t codePage, std::u16string_view units, std::uint32_t flags) {
    Encoded result;
    iconv_t cd = Converter::Get(codePage, false);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return result;
    }
    // The composite check: precompose where GBK has the composed character. `origin` maps the
    // units of the composed text back to the caller's units (only kept when anything changed).
    std::u16string composed;
    std::vector<std::size_t> origin;
    if ((flags & kEncodeCompositeCheck) && codePage == kCodePageGbk && HoldsCombiningMark(units)) {
        composed.reserve(units.size());
        origin.reserve(units.size());
        for (std::size_t i = 0; i < units.size(); ++i) {
            const char16_t c = i + 1 < units.size() ? Compose(units[i], units[i + 1]) : 0;
            origin.push_back(i);
            composed.push_back(c ? c : units[i]);
            i += c ? 1 : 0;
        }
        units = composed;
    }

    std::string& out = result.bytes;
    out.resize(units.size() * 2 + 16);
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(units.data()));
    std::size_t inLeft = units.size() * 2;
    std::size_t done = 0;  // bytes of `out` written
    while (inLeft > 0) {
        char* o = out.data() + done;
        std::size_t outLeft = out.size() - done;
        const std::size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
        done = static_cast<std::size_t>(o - out.data());
        if (r != static_cast<std::size_t>(-1)) {
            break;
        }
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        if (errno != EILSEQ && errno != EINVAL) {
            break;
        }
        // A unit without a form (or a lone surrogate): "?", one unit at a time, so a pair
        // without a form gives "??".
        const std::size_t index = units.size() - inLeft / 2;
        const char16_t u = units[index];
        const bool extra = codePage == 1252 && u < 0x100 && SingleByteExtra(1252, static_cast<unsigned char>(u)) == u;
        if (!extra && result.firstUnmapped == std::string::npos) {
            result.firstUnmapped = origin.empty() ? index : origin[index];
            result.bytesBeforeUnmapped = done;
        }
        if (done + 1 > out.size()) {
            out.resize(out.size() * 2);
        }
        out[done++] = extra ? static_cast<char>(u) : '?';
        in += 2;
        inLeft -= 2;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(done);
    if (result.firstUnmapped == std::string::npos) {
        result.bytesBeforeUnmapped = done;
    }
    return result;
}

}  // namespace

std::uint32_t SystemCodePage() { return 1252; }

std::u16string DecodeCodePage(std::uint32_t codePage, std::string_view bytes) {
    if (bytes.empty()) {
        return std::u16string();
    }
    codePage = Resolve(codePage);
    return codePage == kCodePageUtf8 ? DecodeUtf8(bytes) : DecodeIconv(codePage, bytes);
}

Encoded EncodeCodePage(std::uint32_t codePage, std::u16string_view units, std::uint32_t flags) {
    if (units.empty()) {
        return Encoded();
    }
    codePage = Resolve(codePage);
    if (codePage == kCodePageUtf8) {
        Encoded result;
        result.bytes = EncodeUtf8(units);
        result.bytesBeforeUnmapped = result.bytes.size();
        return result;
    }
    return EncodeIconv(codePage, units, flags);
}

}  // namespace ql
