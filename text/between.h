// Reading a value out of loosely structured text: the part between a left and a right marker.
#pragma once

#include <optional>

#include "text/text.h"

namespace ql {

// The part of `source` after the first occurrence of `left` and before the first occurrence
// of `right` that begins after the end of that `left`. In both markers the token "#引号"
// stands for a double quote. Without `caseSensitive` ASCII letters match either case.
// A missing marker, or an empty left or right marker, gives the empty text.
Text TextBetween(const Text& source, const Text& left, const Text& right,
                 std::optional<std::int32_t> start = std::nullopt, bool caseSensitive = false);

}  // namespace ql
