#include "text/url_decode.h"

#include <algorithm>

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
    // One pass: the decoded bytes go to the converter in small parts as they are made, so
    // neither a copy of the whole decoded page nor any rescanning is needed.
    constexpr std::size_t kPart = 16 * 1024;
    const std::string_view in = text.view();
    Utf8Transcoder gbk(kCodePageGbk, kEncodeCompositeCheck, in.size());
    std::string part;
    part.reserve(kPart + 3);
    std::size_t i = 0;
    while (i < in.size()) {
        if (part.size() >= kPart) {
            gbk.Append(part);
            part.clear();
        }
        const std::size_t percent = in.find('%', i);
        const std::size_t plainEnd = std::min(percent, std::min(in.size(), i + kPart));
        if (plainEnd > i) {
            part.append(in.substr(i, plainEnd - i));
            i = plainEnd;
            continue;
        }
        if (in.size() - percent < 3) {
            // An escape cut short by the end of the text is not an escape: taking the missing
            // digits as -2 would invent a byte.
            part.append(in.substr(percent));
            break;
        }
        const int value = DigitValue(static_cast<unsigned char>(in[percent + 1])) * 16 +
                          DigitValue(static_cast<unsigned char>(in[percent + 2]));
        const char byte = static_cast<char>(static_cast<unsigned>(value) & 0xFFu);
        if (byte != '\0') {
            part.push_back(byte);  // %00 is the empty text and contributes nothing
        }
        i = percent + 3;
    }
    gbk.Append(part);
    return Text(gbk.Finish());
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
