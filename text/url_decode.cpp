#include "text/url_decode.h"

#include <algorithm>

#include "text/codepage.h"

namespace ql {

namespace {

// Position in "0123456789ABCDEF" minus 1, after upper-casing: a byte that is not a hex digit
// is not found (-1) and so counts as -2.
struct DigitTable {
    int value[256];
    constexpr DigitTable() : value() {
        for (int c = 0; c < 256; ++c) {
            value[c] = (c >= '0' && c <= '9')   ? c - '0'
                       : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                       : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                                : -2;
        }
    }
};
constexpr DigitTable kDigits;

Text Utf8BytesToGbk(std::string_view utf8) { return Text(Utf8ToCodePage(utf8, kCodePageGbk, kEncodeCompositeCheck)); }

}  // namespace

Text UrlDecode(const Text& text) { return UrlDecodeInSteps(text, 16 * 1024, kUtf8PieceBytes); }

Text UrlDecodeInSteps(const Text& text, std::size_t escapeBytes, std::size_t pieceBytes) {
    // One pass: runs without escapes go to the converter as they stand, decoded escapes are
    // gathered in small parts, so neither a copy of the whole decoded page nor any rescanning
    // is needed. Each byte is looked at once by the search for "%".
    const std::size_t partBytes = std::max<std::size_t>(escapeBytes, 1);
    const std::string_view in = text.view();
    const auto digit = [&](std::size_t k) { return kDigits.value[static_cast<unsigned char>(in[k])]; };
    Utf8Transcoder gbk(kCodePageGbk, kEncodeCompositeCheck, in.size(), pieceBytes);
    std::string part(partBytes, '\0');
    std::size_t used = 0;
    std::size_t i = 0;
    while (i < in.size()) {
        const std::size_t percent = std::min(in.find('%', i), in.size());
        if (percent > i) {
            gbk.Append(std::string_view(part).substr(0, used));
            used = 0;
            gbk.Append(in.substr(i, percent - i));
            i = percent;
            continue;
        }
        // A run of escapes. One cut short by the end of the text is not an escape: taking the
        // missing digits as -2 would invent a byte; it is kept as written.
        for (; i + 2 < in.size() && in[i] == '%' && used < partBytes; i += 3) {
            const char byte = static_cast<char>(static_cast<unsigned>(digit(i + 1) * 16 + digit(i + 2)) & 0xFFu);
            part[used] = byte;
            used += byte != '\0';  // %00 is the empty text and contributes nothing
        }
        if (used == partBytes) {
            gbk.Append(part);
            used = 0;
        } else if (i + 2 >= in.size() && i < in.size() && in[i] == '%') {
            gbk.Append(std::string_view(part).substr(0, used));
            used = 0;
            gbk.Append(in.substr(i));
            break;
        }
    }
    gbk.Append(std::string_view(part).substr(0, used));
    return Text(gbk.Finish());
}

Text Utf8ToGbk(const ByteSet& utf8) {
    return Utf8BytesToGbk(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

ByteSet Utf8ToUtf16Bytes(const ByteSet& utf8) {
    return Utf16ToBytes(
        DecodeCodePage(kCodePageUtf8, std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size())));
}

Text Utf16BytesToGbk(const ByteSet& utf16) {
    const std::u16string units = Utf16FromBytes(utf16.data(), utf16.size());
    return Text(EncodeCodePage(kCodePageGbk, units, kEncodeCompositeCheck).bytes);
}

}  // namespace ql
