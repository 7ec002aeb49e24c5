#include "text/codepage.h"

namespace ql {

std::string Utf8ToCodePage(std::string_view utf8, std::uint32_t codePage, std::uint32_t flags) {
    // A piece ends just before an ASCII byte: no UTF-8 sequence continues across it, no
    // combining mark follows it, and a sequence cut short there is invalid either way.
    constexpr std::size_t kPiece = 32 * 1024;
    std::string out;
    out.reserve(utf8.size());
    std::size_t begin = 0;
    while (begin < utf8.size()) {
        std::size_t end = utf8.size();
        if (utf8.size() - begin > kPiece) {
            end = begin + kPiece;
            while (end > begin && static_cast<unsigned char>(utf8[end]) >= 0x80) {
                --end;
            }
            if (end == begin) {  // no ASCII byte in the piece: take the run up to the next one
                end = begin + kPiece;
                while (end < utf8.size() && static_cast<unsigned char>(utf8[end]) >= 0x80) {
                    ++end;
                }
            }
        }
        out += EncodeCodePage(codePage, DecodeCodePage(kCodePageUtf8, utf8.substr(begin, end - begin)), flags).bytes;
        begin = end;
    }
    return out;
}

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
