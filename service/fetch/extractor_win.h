// The site extractor (yt-dlp.exe) run for one page address: in a job of its own, with no
// console window, inheriting only its output pipe, with no proxy settings of the user's in its
// environment, and every connection it makes through a PinningProxy of its own that serves any
// host the address filter allows, plain requests and tunnels alike. The job ends it and
// whatever it started at kExtractTime, when its output passes kMaxExtractorOutput, when the
// request is abandoned, and with the service. At most kMaxExtractions run at once.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "service/fetch/pinning_proxy_win.h"
#include "service/fetch/socket_io_win.h"
#include "service/page_fetch.h"

namespace ql::service {

constexpr int kMaxExtractions = 2;
// How long a request waits for an extraction's place before it is answered by the reading alone.
constexpr std::chrono::seconds kExtractionWait{2};

// Where the extractor is: `yt-dlp.exe` beside this process's executable, else the first on
// PATH; nothing when there is none.
std::optional<std::wstring> FindExtractor();

class SystemSiteExtractor : public SiteExtractor {
public:
    // `program`: the extractor's full path. `abandoned` says whether the request was given up
    // (its client gone); `allowPrivate`, `lookup` and `judge` as for the fetcher.
    SystemSiteExtractor(std::wstring program, bool allowPrivate, std::function<bool()> abandoned = {},
                        LookupFunction lookup = Lookup, AddressJudge judge = IsPublicAddress)
        : program_(std::move(program)),
          allowPrivate_(allowPrivate),
          abandoned_(std::move(abandoned)),
          lookup_(std::move(lookup)),
          judge_(std::move(judge)) {}
    std::vector<std::string> Extract(const std::string& url, std::string* why) override;

    // The arguments after the program's name: the service's own, or (tests over a local site,
    // which no site extractor claims) with the extractor's generic reader allowed.
    bool allowGeneric = false;
    // How long one run may take (shorter in tests).
    Clock::duration timeLimit = kExtractTime;

private:
    std::wstring program_;
    bool allowPrivate_;
    std::function<bool()> abandoned_;
    LookupFunction lookup_;
    AddressJudge judge_;
};

}  // namespace ql::service
