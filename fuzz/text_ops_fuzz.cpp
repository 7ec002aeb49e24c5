// TextFind, TextMid and TextReplace with any texts, positions and counts, against the
// definitions written out by hand.
#include "fuzz/fuzz_input.h"

namespace {

using namespace ql;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool MatchesAt(std::string_view hay, std::string_view s, std::size_t at, bool ignoreCase) {
    if (at + s.size() > hay.size()) {
        return false;
    }
    for (std::size_t k = 0; k < s.size(); ++k) {
        if (ignoreCase ? Lower(hay[at + k]) != Lower(s[k]) : hay[at + k] != s[k]) {
            return false;
        }
    }
    return true;
}

// 0-based index of the first match at or after `from`, or npos.
std::size_t Find(std::string_view hay, std::string_view s, std::size_t from, bool ignoreCase) {
    for (std::size_t at = from; !s.empty() && at + s.size() <= hay.size(); ++at) {
        if (MatchesAt(hay, s, at, ignoreCase)) {
            return at;
        }
    }
    return std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const bool ignoreCase = in.Byte() & 1;
    const std::optional<std::int32_t> start = in.MaybeSmall();
    const std::optional<std::int32_t> count = in.MaybeSmall();
    const Text from(in.Field());
    const Text to(in.Field());
    const Text text(in.Rest());
    const std::size_t first = (!start || *start < 1) ? 0 : static_cast<std::size_t>(*start) - 1;

    const std::int32_t found = TextFind(text, from, start, ignoreCase);
    const std::size_t want = Find(text.view(), from.view(), first, ignoreCase);
    QL_FUZZ_CHECK(want == std::string_view::npos ? found == -1 : found == static_cast<std::int32_t>(want) + 1);

    const std::int32_t n = count.value_or(0);
    const Text mid = TextMid(text, start.value_or(1), n);
    QL_FUZZ_CHECK(mid.view() == (n <= 0 || first >= text.size() ? std::string_view() : text.view().substr(first, n)));

    // Left to right from the start, never looking into what was put in.
    std::string replaced(text.view().substr(0, std::min(first, text.size())));
    std::size_t pos = replaced.size();
    for (std::int64_t left = count ? *count : INT64_MAX; left > 0; --left) {
        const std::size_t at = Find(text.view(), from.view(), pos, ignoreCase);
        if (at == std::string_view::npos) {
            break;
        }
        replaced.append(text.view().substr(pos, at - pos)).append(to.view());
        pos = at + from.size();
    }
    replaced.append(text.view().substr(pos));
    QL_FUZZ_CHECK(TextReplace(text, from, to, start, count, ignoreCase).str() == replaced);
    return 0;
}
