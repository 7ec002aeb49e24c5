#include "update/settings.h"

#ifndef QL_UPDATE_NOTICE_ADDRESS
#error "QL_UPDATE_NOTICE_ADDRESS: the update-notice page's address, set by the build"
#endif
// 0: the runner's default limit.
#ifndef QL_UPDATE_FETCH_LIMIT_S
#define QL_UPDATE_FETCH_LIMIT_S 0
#endif

namespace ql {

Text UpdateNoticeAddress() { return QL_UPDATE_NOTICE_ADDRESS; }

std::optional<std::int32_t> UpdateFetchLimitSeconds() {
    if (QL_UPDATE_FETCH_LIMIT_S > 0) {
        return QL_UPDATE_FETCH_LIMIT_S;
    }
    return std::nullopt;
}

}  // namespace ql
