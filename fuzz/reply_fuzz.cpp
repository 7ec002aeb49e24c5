// The parse service's reply: the hidden field's value cut out of the page, and its rows.
#include "fuzz/fuzz_input.h"
#include "resolve/reply.h"

namespace {

using namespace ql;

// The rows joined by CR LF give back the value up to the refusal line, or the whole value,
// with at most a CR LF after the last row.
void CheckRows(const Text& value) {
    const ResultRows read = ReadResultRows(value);
    std::string joined;
    for (std::size_t i = 0; i < read.rows.size(); ++i) {
        const Text& row = read.rows[i];
        QL_FUZZ_CHECK(fuzz::NoZero(row) && !fuzz::Holds(row.view(), "\r\n") && row != Text(RefusalLine));
        joined += (i == 0 ? "" : "\r\n") + row.str();
    }
    const std::string_view v = value.view();
    if (read.refused) {
        const std::string head = read.rows.empty() ? RefusalLine : joined + "\r\n" + RefusalLine;
        QL_FUZZ_CHECK(fuzz::StartsWith(v, head));
        const std::string_view after = v.substr(head.size());
        QL_FUZZ_CHECK(after.empty() || fuzz::StartsWith(after, "\r\n"));
    } else {
        QL_FUZZ_CHECK(v == joined || v == joined + "\r\n");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const bool ownMarkers = in.Byte() & 1;
    const Text start = ownMarkers ? Text(in.Field()) : Text(ReplyStartMarker);
    const Text end = ownMarkers ? Text(in.Field()) : Text(ReplyEndMarker);
    const Text page(in.Rest());

    // The value lies between the first start marker and the first end marker after it.
    const Text value = CutBetween(page, start, end);
    QL_FUZZ_CHECK(fuzz::NoZero(value));
    if (!value.empty()) {
        const std::size_t at = page.view().find(start.view());
        QL_FUZZ_CHECK(at != std::string_view::npos);
        QL_FUZZ_CHECK(fuzz::StartsWith(page.view().substr(at + start.size()), TextJoin(value, end).view()));
        QL_FUZZ_CHECK(!fuzz::Holds(value.view(), end.view()));
    }
    CheckRows(value);
    CheckRows(page);
    return 0;
}
