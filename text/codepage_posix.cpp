#include "text/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "text/utf8_posix.h"

namespace ql {

namespace {

constexpr char16_t kQuestion = u'?';

// ---- code pages other than UTF-8: iconv's tables, one character at a time, remembered ----
//
// iconv stops at every character it cannot convert, and restarting it costs about as much as
// converting a few hundred bytes: a GBK page read as UTF-8 (one U+FFFD per byte pair) took a
// second per MiB. So iconv is asked once per character and code page, and the answer is kept
// in a table shared by all threads (each entry is written whole, and every writer writes the
// same value). The conversion itself is then a table walk.

const char* IconvName(std::uint32_t codePage) {
    switch (codePage) {
        case kCodePageGbk:
            return "CP936";
        case kCodePageBig5:
            return "CP950";
        case 1252:
            return "WINDOWS-1252";
        default:
            return nullptr;
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
            return Invalid();
        }
        iconv_t cd = toUtf16 ? iconv_open("UTF-16LE", name) : iconv_open(name, "UTF-16LE");
        if (cd == Invalid()) {
            return cd;
        }
        open.push_back(Converter(codePage, toUtf16, cd));
        return cd;
    }
    static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); }

    Converter(Converter&& o) noexcept : codePage_(o.codePage_), toUtf16_(o.toUtf16_), cd_(o.cd_) { o.cd_ = Invalid(); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    Converter& operator=(Converter&&) = delete;
    ~Converter() {
        if (cd_ != Invalid()) {
            iconv_close(cd_);
        }
    }

private:
    Converter(std::uint32_t codePage, bool toUtf16, iconv_t cd) : codePage_(codePage), toUtf16_(toUtf16), cd_(cd) {}
    std::uint32_t codePage_;
    bool toUtf16_;
    iconv_t cd_;
};

// Converts one whole character; false when iconv has no form for it (or no descriptor).
bool IconvOne(iconv_t cd, const char* in, std::size_t inSize, char* out, std::size_t outSize, std::size_t& written) {
    if (cd == Converter::Invalid()) {
        return false;
    }
    char* i = const_cast<char*>(in);
    char* o = out;
    std::size_t inLeft = inSize;
    std::size_t outLeft = outSize;
    const bool ok = iconv(cd, &i, &inLeft, &o, &outLeft) != static_cast<std::size_t>(-1) && inLeft == 0;
    written = outSize - outLeft;
    return ok && written > 0;
}

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

// The remembered answers of one code page. Decoding: index (lead << 8 | trail) for a byte
// pair, 0x100 + byte for a single byte; the entry is 0x10000 + the unit once known. Encoding:
// index the unit; the entry is 0x1000000 + (length << 16) + the bytes once known, length 0
// meaning no form.
struct CodePageCache {
    std::atomic<std::uint32_t> decode[0x10000 + 0x100];
    std::atomic<std::uint32_t> encode[0x10000];
};

CodePageCache* CacheFor(std::uint32_t codePage) {
    static CodePageCache gbk, big5, western;
    switch (codePage) {
        case kCodePageGbk:
            return &gbk;
        case kCodePageBig5:
            return &big5;
        case 1252:
            return &western;
        default:
            return nullptr;
    }
}

char16_t LookUpDecode(std::uint32_t codePage, CodePageCache& cache, std::size_t index, const char* bytes,
                      std::size_t n) {
    const std::uint32_t known = cache.decode[index].load(std::memory_order_relaxed);
    if (known) {
        return static_cast<char16_t>(known - 0x10000);
    }
    char16_t unit = kQuestion;
    char out[8];
    std::size_t written = 0;
    if (IconvOne(Converter::Get(codePage, true), bytes, n, out, sizeof out, written) && written == 2) {
        unit = static_cast<char16_t>(static_cast<unsigned char>(out[0]) | (static_cast<unsigned char>(out[1]) << 8));
    } else if (n == 1 && SingleByteExtra(codePage, static_cast<unsigned char>(bytes[0]))) {
        unit = SingleByteExtra(codePage, static_cast<unsigned char>(bytes[0]));
    }
    cache.decode[index].store(0x10000u + unit, std::memory_order_relaxed);
    return unit;
}

std::u16string DecodeTable(std::uint32_t codePage, std::string_view bytes) {
    CodePageCache* cache = CacheFor(codePage);
    if (!cache || Converter::Get(codePage, true) == Converter::Invalid()) {
        return std::u16string();
    }
    std::u16string out(bytes.size(), u'\0');  // never more units than bytes
    char16_t* o = out.data();
    const char* s = bytes.data();
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            *o++ = b;  // ASCII is itself in all three code pages
            ++i;
        } else if (IsLeadByte(codePage, b)) {
            // A pair that forms no character is one "?": the trail byte goes with it, unless it
            // is a zero byte or missing.
            if (i + 1 < n && s[i + 1] != '\0') {
                const std::size_t index = (std::size_t{b} << 8) | static_cast<unsigned char>(s[i + 1]);
                *o++ = LookUpDecode(codePage, *cache, index, s + i, 2);
                i += 2;
            } else {
                *o++ = kQuestion;
                ++i;
            }
        } else {
            *o++ = LookUpDecode(codePage, *cache, 0x10000 + b, s + i, 1);
            ++i;
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

// The bytes of one BMP unit in the code page: length in bits 16-17, the bytes below (first
// byte high when there are two); 0 when it has no form.
std::uint32_t LookUpEncode(std::uint32_t codePage, CodePageCache& cache, char16_t unit) {
    const std::uint32_t known = cache.encode[unit].load(std::memory_order_relaxed);
    if (known) {
        return known - 0x1000000;
    }
    std::uint32_t entry = 0;
    const char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    char out[8];
    std::size_t written = 0;
    if (IconvOne(Converter::Get(codePage, false), in, 2, out, sizeof out, written) && written <= 2) {
        entry = static_cast<std::uint32_t>(written) << 16;
        for (std::size_t k = 0; k < written; ++k) {
            entry |= static_cast<std::uint32_t>(static_cast<unsigned char>(out[k])) << (8 * (written - 1 - k));
        }
    } else if (unit < 0x100 && SingleByteExtra(codePage, static_cast<unsigned char>(unit)) == unit) {
        entry = (1u << 16) | unit;
    }
    cache.encode[unit].store(0x1000000u + entry, std::memory_order_relaxed);
    return entry;
}

struct Composition {
    char16_t base, mark, composed;
};
constexpr Composition kGbkCompositions[] = {
#include "text/gbk_compose.inc"
};

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
    const auto* it =
        std::lower_bound(std::begin(kGbkCompositions), end, key, [](const Composition& a, const Composition& b) {
            return a.base != b.base ? a.base < b.base : a.mark < b.mark;
        });
    return (it != end && it->base == base && it->mark == mark) ? it->composed : 0;
}

Encoded EncodeTable(std::uint32_t codePage, std::u16string_view units, std::uint32_t flags) {
    Encoded result;
    CodePageCache* cache = CacheFor(codePage);
    if (!cache || Converter::Get(codePage, false) == Converter::Invalid()) {
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
    out.resize(units.size() * 2);  // at most two bytes per unit: none of these has longer forms
    char* o = out.data();
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u < 0x80) {
            *o++ = static_cast<char>(u);
            continue;
        }
        // A surrogate, paired or not, has no form here: these code pages stop at U+FFFF, and a
        // pair gives one "?" per unit.
        const std::uint32_t entry = (u >= 0xD800 && u <= 0xDFFF) ? 0 : LookUpEncode(codePage, *cache, u);
        const std::uint32_t length = entry >> 16;
        if (length == 2) {
            *o++ = static_cast<char>((entry >> 8) & 0xFF);
            *o++ = static_cast<char>(entry & 0xFF);
        } else if (length == 1) {
            *o++ = static_cast<char>(entry & 0xFF);
        } else {
            if (result.firstUnmapped == std::string::npos) {
                result.firstUnmapped = origin.empty() ? i : origin[i];
                result.bytesBeforeUnmapped = static_cast<std::size_t>(o - out.data());
            }
            *o++ = '?';
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    if (result.firstUnmapped == std::string::npos) {
        result.bytesBeforeUnmapped = out.size();
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
    return codePage == kCodePageUtf8 ? DecodeUtf8(bytes) : DecodeTable(codePage, bytes);
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
    return EncodeTable(codePage, units, flags);
}

}  // namespace ql
