// The update notice: the page's bytes read as a text, decoded, and the version and the
// archive address taken from between "版本:" / "地址:" and the next ";".
// (The pieces the notice reading is made of; the version is a number, the address a text.)
#include <cmath>

#include "fuzz/fuzz_input.h"
#include "text/between.h"
#include "text/gbk_markers.h"
#include "text/url_decode.h"

namespace {

inline constexpr const char* kVersionMarker = QL_GBK_MARKER("版本:", "\xB0\xE6\xB1\xBE:");
inline constexpr const char* kAddressMarker = QL_GBK_MARKER("地址:", "\xB5\xD8\xD6\xB7:");

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ql;
    const Text page = UrlDecode(BytesToText(ByteSet(data, data + size)));
    QL_FUZZ_CHECK(fuzz::NoZero(page));
    for (const char* marker : {kVersionMarker, kAddressMarker}) {
        const Text value = TextBetween(page, marker, ";");
        QL_FUZZ_CHECK(fuzz::NoZero(value) && !fuzz::Holds(value.view(), ";"));
        QL_FUZZ_CHECK(value.empty() || fuzz::Holds(page.view(), TextJoin(marker, value, ";").view()) ||
                      TextFind(page, TextJoin(marker, value, ";"), 1, true) > 0);
    }
    const double version = TextToNumber(TextBetween(page, kVersionMarker, ";"));
    QL_FUZZ_CHECK(!std::isnan(version));
    TruncateToInteger(version);
    return 0;
}
