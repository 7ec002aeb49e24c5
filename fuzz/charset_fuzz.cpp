// The code-page conversions on any bytes. Round trips: a GBK text that went once through
// UTF-16 (so every invalid pair is "?" now) comes back unchanged through UTF-16 and through
// UTF-8, and Big5 turned into GBK goes back to the Big5 it came from, up to where it stops.
#include "fuzz/fuzz_input.h"
#include "text/url_decode.h"
#include "web/charset.h"

namespace {

using namespace ql;

Text Through(const Text& t, std::uint32_t from, std::uint32_t to) {
    return Utf16BytesToMultiByte(MultiByteToUtf16Bytes(t, from), to);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteSet raw(data, data + size);
    const Text text = BytesToText(raw);

    // GBK.
    const Text gbk = Through(text, kCodePageGbk, kCodePageGbk);
    QL_FUZZ_CHECK(fuzz::NoZero(gbk));
    QL_FUZZ_CHECK(Through(gbk, kCodePageGbk, kCodePageGbk) == gbk);
    const Text utf8 = Through(gbk, kCodePageGbk, kCodePageUtf8);
    QL_FUZZ_CHECK(Utf8TextToGbk(utf8) == gbk);
    QL_FUZZ_CHECK(Utf8ToGbk(TextToBytes(utf8)) == gbk);
    QL_FUZZ_CHECK(Utf16BytesToGbk(Utf8ToUtf16Bytes(TextToBytes(utf8))) == gbk);
    if (TextFind(utf8, "%") == -1) {
        QL_FUZZ_CHECK(UrlDecode(utf8) == gbk);
    }

    // Big5.
    const Text big5 = Through(text, kCodePageBig5, kCodePageBig5);
    QL_FUZZ_CHECK(Through(big5, kCodePageBig5, kCodePageBig5) == big5);
    const Text fromBig5 = Big5ToGbk(big5);
    QL_FUZZ_CHECK(fuzz::StartsWith(big5.view(), Through(fromBig5, kCodePageGbk, kCodePageBig5).view()));
    const Text simplified = Big5ToSimplifiedGbk(text);
    QL_FUZZ_CHECK(fuzz::NoZero(simplified) && simplified.size() == Big5ToGbk(text).size());

    // Any bytes as UTF-8 and as UTF-16: whole units, canonical GBK out.
    const ByteSet units = Utf8ToUtf16Bytes(raw);
    QL_FUZZ_CHECK(units.size() % 2 == 0 && units.size() <= 2 * raw.size());
    const Text fromUtf8 = Utf8ToGbk(raw);
    QL_FUZZ_CHECK(Through(fromUtf8, kCodePageGbk, kCodePageGbk) == fromUtf8);
    const Text fromUtf16 = Utf16BytesToGbk(raw);
    QL_FUZZ_CHECK(Through(fromUtf16, kCodePageGbk, kCodePageGbk) == fromUtf16);
    QL_FUZZ_CHECK(fuzz::NoZero(Utf16BytesToMultiByte(raw, kCodePageSystem)));
    return 0;
}
