// ASCII character tests for reading addresses, headers and markup. They look at bytes only,
// never at the C locale, so what the service accepts is the same on every machine.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace ql::service {

inline char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
inline bool IsAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// The value of a hexadecimal digit; -1 for any other byte.
inline int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
inline bool IsHex(char c) { return HexValue(c) >= 0; }
inline bool IsAlnum(char c) { return IsAlpha(c) || IsDigit(c); }

// Whether `s` begins with `lowerPrefix` (given in lower case), ASCII letters in any case.
inline bool StartsWithIgnoringCase(std::string_view s, std::string_view lowerPrefix) {
    if (s.size() < lowerPrefix.size()) return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        if (Lower(s[i]) != lowerPrefix[i]) return false;
    }
    return true;
}

// "%XX" for a byte, upper-case hex, as addresses percent-encode.
inline void AppendPercentEncoded(std::string& out, char c) {
    const auto b = static_cast<unsigned char>(c);
    out.push_back('%');
    out.push_back("0123456789ABCDEF"[b >> 4]);
    out.push_back("0123456789ABCDEF"[b & 15]);
}

template <std::size_t N>
bool OneOf(std::string_view s, const std::array<std::string_view, N>& list) {
    for (std::string_view item : list) {
        if (item == s) return true;
    }
    return false;
}

}  // namespace ql::service
