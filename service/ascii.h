// ASCII character tests for reading addresses, headers and markup. They look at bytes only,
// never at the C locale, so what the service accepts is the same on every machine.
#pragma once

#include <array>
#include <cstddef>
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

template <std::size_t N>
bool OneOf(std::string_view s, const std::array<std::string_view, N>& list) {
    for (std::string_view item : list) {
        if (item == s) return true;
    }
    return false;
}

}  // namespace ql::service
