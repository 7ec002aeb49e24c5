#include "text/codepage.h"

namespace ql {

ByteSet Utf16ToBytes(std::u16string_view units) {
    ByteSet out(units.size() * 2);
    std::uint8_t* p = out.data();
    for (char16_t u : units) {
        *p++ = static_cast<std::uint8_t>(u & 0xFF);
        *p++ = static_cast<std::uint8_t>(u >> 8);
    }
    return out;
}

std::u16string Utf16FromBytes(const std::uint8_t* bytes, std::size_t count) {
    std::u16string out(count / 2, u'\0');
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return out;
}

}  // namespace ql
