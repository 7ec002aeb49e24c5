// The service's fetcher on the system's HTTP stack (WinINet: https and its certificates are
// the system's), every connection made through a PinningProxy of its own.
#pragma once

#include "service/page_fetch.h"

namespace ql::service {

class SystemPageFetcher : public PageFetcher {
public:
    // `allowPrivate`: loopback, private and other non-public hosts may be fetched (tests).
    explicit SystemPageFetcher(bool allowPrivate) : allowPrivate_(allowPrivate) {}
    std::optional<FetchedPage> Fetch(const std::string& url, Clock::time_point deadline, std::string* why) override;

private:
    bool allowPrivate_;
};

}  // namespace ql::service
