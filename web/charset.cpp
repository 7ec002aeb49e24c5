#include "web/charset.h"

#include <algorithm>

#include "web/t2s_table.h"

namespace ql {

namespace {

std::u16string UnitsBeforeZero(const ByteSet& utf16) {
    std::u16string units = Utf16FromBytes(utf16.data(), utf16.size());
    units.resize(std::min(units.size(), units.find(u'\0')));
    return units;
}

bool IsGbkLead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

}  // namespace

Text Utf8TextToGbk(const Text& utf8) { return Text(Utf8ToCodePage(utf8.view(), kCodePageGbk)); }

Text Big5ToSimplifiedGbk(const Text& big5) { return ToSimplifiedChinese(Big5ToGbk(big5)); }

ByteSet MultiByteToUtf16Bytes(const Text& text, std::uint32_t codePage) {
    if (text.empty()) {
        return ByteSet();
    }
    std::u16string units = DecodeCodePage(codePage, text.view());
    if (units.empty()) {
        return ByteSet();  // a code page the system does not know
    }
    units.push_back(u'\0');
    return Utf16ToBytes(units);
}

Text Utf16BytesToMultiByte(const ByteSet& utf16, std::uint32_t codePage) {
    return Text(EncodeCodePage(codePage, UnitsBeforeZero(utf16)).bytes);
}

Text Big5ToGbk(const Text& big5) {
    // The end is found from the encoder's report of the first unit without a form, not from an
    // empty default character: the system reads a default character as two bytes.
    Encoded gbk = EncodeCodePage(kCodePageGbk, DecodeCodePage(kCodePageBig5, big5.view()));
    gbk.bytes.resize(gbk.bytesBeforeUnmapped);
    return Text(std::move(gbk.bytes));
}

Text ToSimplifiedChinese(const Text& gbk) {
    std::string out(gbk.view());
    const GbkPair* begin = kTraditionalToSimplified;
    const GbkPair* end = kTraditionalToSimplified + kTraditionalToSimplifiedCount;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const unsigned char lead = static_cast<unsigned char>(out[i]);
        if (!IsGbkLead(lead) || i + 1 >= out.size()) {
            continue;
        }
        const auto code = static_cast<std::uint16_t>((lead << 8) | static_cast<unsigned char>(out[i + 1]));
        const GbkPair* it =
            std::lower_bound(begin, end, code, [](const GbkPair& p, std::uint16_t c) { return p.traditional < c; });
        if (it != end && it->traditional == code) {
            out[i] = static_cast<char>(it->simplified >> 8);
            out[i + 1] = static_cast<char>(it->simplified & 0xFF);
        }
        ++i;  // the trail byte belongs to this character, whatever its value
    }
    return Text(std::move(out));
}

ByteSet ZeroBytes(std::int32_t n) { return n > 0 ? ByteSet(static_cast<std::size_t>(n), 0) : ByteSet(); }

Text SpaceText(std::int32_t n) { return n > 0 ? Text(std::string(static_cast<std::size_t>(n), ' ')) : Text(); }

}  // namespace ql
