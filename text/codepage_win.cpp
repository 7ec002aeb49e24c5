#include "text/codepage.h"

#include <windows.h>

#include <algorithm>
#include <limits>

namespace ql {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

constexpr std::size_t kMaxCount = static_cast<std::size_t>(std::numeric_limits<int>::max() / 4);

const wchar_t* Wide(const char16_t* p) { return reinterpret_cast<const wchar_t*>(p); }

// The used-default flag is refused for UTF-8 (and the system never needs a default there).
bool TakesUsedDefault(std::uint32_t codePage) { return codePage != kCodePageUtf8 && codePage != CP_UTF7; }

int Encode(std::uint32_t codePage, DWORD flags, std::u16string_view units, char* out, int outSize, BOOL* usedDefault) {
    return WideCharToMultiByte(codePage, flags, Wide(units.data()), static_cast<int>(units.size()), out, outSize,
                               nullptr, TakesUsedDefault(codePage) ? usedDefault : nullptr);
}

bool PrefixUsesDefault(std::uint32_t codePage, DWORD flags, std::u16string_view units) {
    BOOL used = FALSE;
    Encode(codePage, flags, units, nullptr, 0, &used);
    return used != FALSE;
}

// Index of the first unit without a form. Only called once the whole buffer is known to hold
// one: chunks find the region cheaply, then growing prefixes of that chunk find the unit (a
// prefix, not single units, so a base character and its combining mark are judged together).
std::size_t FirstUnmapped(std::uint32_t codePage, DWORD flags, std::u16string_view units) {
    constexpr std::size_t kChunk = 64;
    std::size_t begin = 0;
    while (begin < units.size()) {
        std::size_t end = std::min(units.size(), begin + kChunk);
        // Keep surrogate pairs and base+mark sequences inside one chunk.
        while (end < units.size() && ((units[end] >= 0xDC00 && units[end] <= 0xDFFF) || IsCombiningMark(units[end]))) {
            ++end;
        }
        const std::u16string_view chunk = units.substr(begin, end - begin);
        if (PrefixUsesDefault(codePage, flags, chunk)) {
            for (std::size_t n = 1; n <= chunk.size(); ++n) {
                if (PrefixUsesDefault(codePage, flags, chunk.substr(0, n))) {
                    return begin + n - 1;
                }
            }
            return begin;  // not reached: the whole chunk used the default
        }
        begin = end;
    }
    return std::u16string_view::npos;
}

}  // namespace

std::uint32_t SystemCodePage() { return GetACP(); }

std::u16string DecodeCodePage(std::uint32_t codePage, std::string_view bytes) {
    if (bytes.empty() || bytes.size() > kMaxCount) {
        return std::u16string();
    }
    const int n = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(codePage, 0, bytes.data(), n, nullptr, 0);
    if (units <= 0) {
        return std::u16string();
    }
    std::u16string out(static_cast<std::size_t>(units), u'\0');
    const int written =
        MultiByteToWideChar(codePage, 0, bytes.data(), n, reinterpret_cast<wchar_t*>(out.data()), units);
    out.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return out;
}

Encoded EncodeCodePage(std::uint32_t codePage, std::u16string_view units, std::uint32_t flags) {
    Encoded result;
    if (units.empty() || units.size() > kMaxCount) {
        return result;
    }
    // The composite check means nothing to UTF-8, and the system refuses the flag there.
    const DWORD f = codePage == kCodePageUtf8 ? 0 : static_cast<DWORD>(flags);
    BOOL used = FALSE;
    const int size = Encode(codePage, f, units, nullptr, 0, &used);
    if (size <= 0) {
        return result;
    }
    result.bytes.assign(static_cast<std::size_t>(size), '\0');
    const int written = Encode(codePage, f, units, result.bytes.data(), size, nullptr);
    result.bytes.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    if (!used) {
        result.bytesBeforeUnmapped = result.bytes.size();
        return result;
    }
    result.firstUnmapped = FirstUnmapped(codePage, f, units);
    if (result.firstUnmapped != std::u16string_view::npos && result.firstUnmapped > 0) {
        const int before = Encode(codePage, f, units.substr(0, result.firstUnmapped), nullptr, 0, nullptr);
        result.bytesBeforeUnmapped = before > 0 ? static_cast<std::size_t>(before) : 0;
    }
    return result;
}

}  // namespace ql
