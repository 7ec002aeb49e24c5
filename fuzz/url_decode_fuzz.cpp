// UrlDecode on any page: the same bytes as the percent rule applied by hand and the whole
// page converted at once. Built a second time as url_decode_pieces_fuzz
// (QL_FUZZ_SHORT_STEPS), which takes the sizes of the decoder's steps from its first two bytes
// (1 to 64), so the cuts between escape runs and converter pieces fall everywhere in a short
// page, as the program's 16 and 32 KiB steps do in a long one.
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
#ifdef QL_FUZZ_SHORT_STEPS
    const std::size_t escapeBytes = in.Byte() % 64 + 1;
    const std::size_t pieceBytes = in.Byte() % 64 + 1;
    const Text text(in.Rest());
    const Text decoded = UrlDecodeInSteps(text, escapeBytes, pieceBytes);
    QL_FUZZ_CHECK(Text(Utf8ToCodePage(text.view(), kCodePageGbk, kEncodeCompositeCheck, pieceBytes)) ==
                  Utf8ToGbk(BytesOf(text.view())));
#else
    const Text text(in.Rest());
    const Text decoded = UrlDecode(text);
#endif
    QL_FUZZ_CHECK(fuzz::NoZero(decoded));
    const std::string bytes = PercentDecoded(text.view());
    const Text whole(EncodeCodePage(kCodePageGbk, DecodeCodePage(kCodePageUtf8, bytes), kEncodeCompositeCheck).bytes);
    QL_FUZZ_CHECK(decoded == whole);
    QL_FUZZ_CHECK(Utf8ToGbk(BytesOf(bytes)) == whole);
    return 0;
}
