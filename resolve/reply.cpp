#include "resolve/reply.h"

#include <cstring>

#include "web/url.h"

namespace ql {

static_assert(sizeof(ReplyStartMarker) - 1 == 97, "start marker: 56 + CR LF + 39 bytes");
static_assert(sizeof(ReplyEndMarker) - 1 == 4, "end marker: quote, slash, greater-than, CR");

Text CutBetween(const Text& text, const Text& startMarker, const Text& endMarker) {
    // Found in place: only the value is copied.
    const std::string_view v = text.view();
    const std::size_t p = startMarker.empty() ? std::string_view::npos : v.find(startMarker.view());
    if (p == std::string_view::npos) {
        return Text();
    }
    const std::string_view rest = v.substr(p + startMarker.size());
    const std::size_t q = endMarker.empty() ? std::string_view::npos : rest.find(endMarker.view());
    if (q == std::string_view::npos) {
        return Text();
    }
    return Text(rest.substr(0, q));
}

ResultRows ReadResultRows(const Text& value) {
    ResultRows result;
    const std::string_view v = value.view();
    std::size_t from = 0;
    while (from < v.size()) {
        std::size_t cut = v.find("\r\n", from);
        if (cut == std::string_view::npos) {
            cut = v.size();
        }
        const Text piece(v.substr(from, cut - from));
        if (TextCompare(piece, RefusalLine) == 0) {
            result.refused = true;
            break;
        }
        result.rows.push_back(piece);
        from = cut + 2;  // past the CR LF; beyond the end when the last line had none
    }
    return result;
}

namespace {

bool StaysInQueryValue(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    return c != '\0' && std::strchr("-._~:/?=,;!*()@$'", c) != nullptr;
}

}  // namespace

Text EncodeQueryValue(const Text& value) {
    static const char kHex[] = "0123456789ABCDEF";
    Text out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const unsigned char c = value[i];
        if (StaysInQueryValue(c)) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0F]);
        }
    }
    return out;
}

Text BuildParseQuery(const Text& queryPrefix, const Text& typedAddress) {
    return TextJoin(queryPrefix, EncodeQueryValue(typedAddress));
}

bool IsWebAddress(const Text& row) { return SchemeLength(row) > 0; }

}  // namespace ql
