// The service's fetcher on the system's HTTP stack (WinINet), every connection made through a
// PinningProxy of its own, which speaks an https page's TLS with the system's TLS and judges
// its certificate with the system's trusted roots.
#pragma once

#include <utility>

#include "service/fetch/pinning_proxy_win.h"
#include "service/fetch/socket_io_win.h"
#include "service/page_fetch.h"

namespace ql::service {

class SystemPageFetcher : public PageFetcher {
public:
    // `allowPrivate`: loopback, private and other non-public hosts may be fetched (tests).
    // `lookup` answers the addresses of a name (the system's lookup unless told otherwise);
    // `judge` says which addresses are public (the address filter unless told otherwise);
    // `extraRoots` are certificates trusted as roots beside the system's own (tests).
    explicit SystemPageFetcher(bool allowPrivate, LookupFunction lookup = Lookup, AddressJudge judge = IsPublicAddress,
                               ExtraRoots extraRoots = {})
        : allowPrivate_(allowPrivate),
          lookup_(std::move(lookup)),
          judge_(std::move(judge)),
          extraRoots_(std::move(extraRoots)) {}
    std::optional<FetchedPage> Fetch(const std::string& url, Clock::time_point deadline, std::string* why) override;

private:
    bool allowPrivate_;
    LookupFunction lookup_;
    AddressJudge judge_;
    ExtraRoots extraRoots_;
};

}  // namespace ql::service
