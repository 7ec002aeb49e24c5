// UrlDecode on any page: the same bytes as the percent rule applied by hand and the whole
// page converted at once. Built a second time as url_decode_pieces_fuzz
// (QL_FUZZ_LONG_PAGES), which repeats each input past two of the converter's 32 KiB pieces, so
// the cuts fall everywhere; that one is slow and is fuzzed on its own.
#include "fuzz/fuzz_input.h"
#include "text/codepage.h"
#include "text/url_decode.h"

namespace {

int Digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -2;
}

// The documented rule, byte by byte.
std::string PercentDecoded(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        if (s[i] == '%' && s.size() - i >= 3) {
            const char byte = static_cast<char>((Digit(s[i + 1]) * 16 + Digit(s[i + 2])) & 0xFF);
            if (byte != '\0') {
                out.push_back(byte);
            }
            i += 3;
        } else {
            out.push_back(s[i++]);
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ql;
    fuzz::Input in(data, size);
#ifdef QL_FUZZ_LONG_PAGES
    const bool repeat = true;
#else
    const bool repeat = false;
#endif
    const std::string_view unit = in.Rest();
    std::string page(unit);
    while (repeat && !unit.empty() && page.size() < 70 * 1024) {
        page += unit;
    }
    const Text text(page);
    const Text decoded = UrlDecode(text);
    QL_FUZZ_CHECK(fuzz::NoZero(decoded));
    const std::string bytes = PercentDecoded(text.view());
    const Text whole(EncodeCodePage(kCodePageGbk, DecodeCodePage(kCodePageUtf8, bytes), kEncodeCompositeCheck).bytes);
    QL_FUZZ_CHECK(decoded == whole);
    QL_FUZZ_CHECK(Utf8ToGbk(BytesOf(bytes)) == whole);
    return 0;
}
