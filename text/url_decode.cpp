#include "text/url_decode.h"

#include "text/codepage.h"

namespace ql {

namespace {

// Position in "0123456789ABCDEF" minus 1, after upper-casing: a byte that is not a hex digit
// is not found (-1) and so counts as -2.
int DigitValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -2;
}

Text Utf8BytesToGbk(std::string_view utf8) { return Text(Utf8ToCodePage(utf8, kCodePageGbk, kEncodeCompositeCheck)); }

}  // namespace

Text UrlDecode(const Text& text) {
    // One pass that appends to a buffer reserved once; the result is never longer than the input.
    const std::string_view in = text.view();
    std::string bytes;
    bytes.reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        const std::size_t percent = in.find('%', i);
        if (percent == std::string_view::npos) {
            bytes.append(in.substr(i));
            break;
        }
        bytes.append(in.substr(i, percent - i));
        if (in.size() - percent < 3) {
            // An escape cut short by the end of the text is not an escape: taking the missing
            // digits as -2 would invent a byte.
            bytes.append(in.substr(percent));
            break;
        }
        const int value = DigitValue(static_cast<unsigned char>(in[percent + 1])) * 16 +
                          DigitValue(static_cast<unsigned char>(in[percent + 2]));
        const char byte = static_cast<char>(static_cast<unsigned>(value) & 0xFFu);
        if (byte != '\0') {
            bytes.push_back(byte);  // %00 is the empty text and contributes nothing
        }
        i = percent + 3;
    }
    return Utf8BytesToGbk(bytes);
}

Text Utf8ToGbk(const ByteSet& utf8) {
    return Utf8BytesToGbk(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

ByteSet Utf8ToUtf16Bytes(const ByteSet& utf8) {
    return Utf16ToBytes(DecodeCodePage(kCodePageUtf8, std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size())));
}

Text Utf16BytesToGbk(const ByteSet& utf16) {
    const std::u16string units = Utf16FromBytes(utf16.data(), utf16.size());
    return Text(EncodeCodePage(kCodePageGbk, units, kEncodeCompositeCheck).bytes);
}

}  // namespace ql
