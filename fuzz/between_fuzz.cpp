// TextBetween with any markers, "#引号" among them, any start and either case rule: what it
// finds stands between the two markers in the source.
#include "fuzz/fuzz_input.h"
#include "text/between.h"
#include "text/gbk_markers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ql;
    fuzz::Input in(data, size);
    const bool caseSensitive = in.Byte() & 1;
    const std::optional<std::int32_t> start = in.MaybeSmall();
    const Text left(in.Field());
    const Text right(in.Field());
    const Text source(in.Rest());

    const Text value = TextBetween(source, left, right, start, caseSensitive);
    QL_FUZZ_CHECK(fuzz::NoZero(value));
    QL_FUZZ_CHECK(value.size() <= source.size());
    if (!value.empty()) {
        // The markers as looked for: the token replaced by a double quote.
        const Text l = TextReplace(left, kQuoteToken, "\"");
        const Text r = TextReplace(right, kQuoteToken, "\"");
        const std::int32_t at = TextFind(source, TextJoin(l, value, r), start, !caseSensitive);
        QL_FUZZ_CHECK(at >= 1 && at + TextLength(l) + TextLength(value) + TextLength(r) - 1 <= TextLength(source));
    }
    return 0;
}
