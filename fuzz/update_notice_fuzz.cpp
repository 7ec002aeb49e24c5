// The update notice: a raw response header block and a page body read into the check's
// decision. Whatever the bytes, the decision keeps its rules: no answer for a fetch that is
// not whole, a newer version only beyond the tolerance, and an address that is the first
// "地址:" value, without a zero byte or a ";".
#include <cmath>

#include "fuzz/fuzz_input.h"
#include "text/between.h"
#include "text/url_decode.h"
#include "update/notice.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ql;
    fuzz::Input in(data, size);
    const Text headers(in.Field());
    const std::string_view rest = in.Rest();
    const ByteSet body(rest.begin(), rest.end());

    const UpdateNotice notice = ReadUpdateNotice(body, headers);
    if (!FetchComplete(body, headers)) {
        QL_FUZZ_CHECK(notice.verdict == UpdateVerdict::NoAnswer);
    }
    if (notice.verdict == UpdateVerdict::NoAnswer) {
        return 0;
    }
    QL_FUZZ_CHECK(std::isfinite(notice.version));
    QL_FUZZ_CHECK((notice.verdict == UpdateVerdict::NewVersion) ==
                  (notice.version - kProgramVersion > kVersionTolerance));
    QL_FUZZ_CHECK(fuzz::NoZero(notice.archiveAddress) && !fuzz::Holds(notice.archiveAddress.view(), ";"));
    const Text page = UrlDecode(BytesToText(body));
    QL_FUZZ_CHECK(TextCompare(notice.archiveAddress, TextBetween(page, kAddressMarker, kValueEnd)) == 0);
    return 0;
}
