// Where the update-notice page lives, and how long each fetch of the check may take. Both are
// compiled into the program (it reads no configuration): the shipped program takes the CMake
// cache variable QINGLAN_UPDATE_NOTICE and the runner's own limit; the end-to-end test build
// of the same program a local test server's address and a shorter limit.
#pragma once

#include <cstdint>
#include <optional>

#include "text/text.h"

namespace ql {

Text UpdateNoticeAddress();

// The limit handed to the timed runner, in seconds; none: the runner's default (60 s).
std::optional<std::int32_t> UpdateFetchLimitSeconds();

}  // namespace ql
