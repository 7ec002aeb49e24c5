#include "text/between.h"

#include "text/gbk_markers.h"

namespace ql {

namespace {

// Markers may spell a double quote as this token; the source is never substituted.
Text SubstituteQuoteToken(const Text& marker) {
    if (TextFind(marker, kQuoteToken) == -1) {
        return marker;
    }
    return TextReplace(marker, kQuoteToken, "\"");
}

}  // namespace

Text TextBetween(const Text& source, const Text& left, const Text& right, std::optional<std::int32_t> start,
                 bool caseSensitive) {
    const Text leftMarker = SubstituteQuoteToken(left);
    const Text rightMarker = SubstituteQuoteToken(right);
    const bool ignoreCase = !caseSensitive;

    const std::int32_t p = TextFind(source, leftMarker, start, ignoreCase);
    if (p == -1) {
        return Text();
    }
    // The bytes after the marker at p: the rightmost L - p - m + 1.
    const Text remainder = TextRight(source, TextLength(source) - p - TextLength(leftMarker) + 1);
    // The right marker is searched in the remainder from the same start position, counted
    // from the remainder's first byte.
    const std::int32_t q = TextFind(remainder, rightMarker, start, ignoreCase);
    if (q == -1) {
        return Text();
    }
    return TextLeft(remainder, q - 1);
}

}  // namespace ql
