// The parse service's readers of outside input: a request head and its answer, a host for
// the address filter, a fetch address and a redirect's Location, and an encoded body. The
// contracts: no request that is refused reaches the page reading, an answer is one response,
// a fetch address is plain ASCII and reads back as itself, a body never passes its limit.
#include "fuzz/fuzz_input.h"
#include "service/fetch/address_filter.h"
#include "service/fetch/body_reader.h"
#include "service/fetch/fetch_url.h"
#include "service/server/service_http.h"

namespace {

using namespace ql::service;

bool PlainAscii(std::string_view s) {
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F) return false;
    }
    return true;
}

void CheckRequest(std::string_view raw) {
    RequestHead head;
    const HeadStatus status = ReadRequestHead(raw, &head);
    if (status != HeadStatus::kComplete) {
        QL_FUZZ_CHECK(status != HeadStatus::kIncomplete || raw.size() <= kMaxRequestHead);
        return;
    }
    QL_FUZZ_CHECK(head.size <= raw.size() && head.size <= kMaxRequestHead);
    QL_FUZZ_CHECK(head.headers.size() <= kMaxHeaderLines);
    ServiceSite site;
    bool parsed = false;
    const Response response = Answer(head, site, [&](std::string_view) {
        parsed = true;
        return std::optional<std::string>("reply");
    });
    if (parsed) {
        const std::string* host = head.Header("host");
        QL_FUZZ_CHECK(host != nullptr && HostAccepted(*host, site) && !BrowserMarked(head));
        QL_FUZZ_CHECK(head.method == "GET" || head.method == "HEAD");
    }
    if (BrowserMarked(head)) QL_FUZZ_CHECK(!parsed && (response.status == 403 || response.status == 501));
    const std::string bytes = ResponseBytes(response, "D");
    const std::size_t end = bytes.find("\r\n\r\n");
    QL_FUZZ_CHECK(end != std::string::npos);
    QL_FUZZ_CHECK(bytes.size() - end - 4 == (response.headOnly ? 0 : response.body.size()));
}

void CheckHost(std::string_view host) {
    const bool allowed = HostAllowed(host);
    if (const auto address = ParseIpAddress(host)) {
        if (allowed) QL_FUZZ_CHECK(IsPublicAddress(*address));
    }
}

void CheckUrl(std::string_view url, std::string_view location) {
    const auto parsed = ParseFetchUrl(url);
    if (!parsed) return;
    QL_FUZZ_CHECK(PlainAscii(parsed->path) && parsed->path[0] == '/');
    QL_FUZZ_CHECK(parsed->port >= 1 && parsed->port <= 65535 && !parsed->host.empty());
    const std::string text = parsed->Text();
    const auto again = ParseFetchUrl(text);
    QL_FUZZ_CHECK(again.has_value() && again->Text() == text);
    if (const auto next = FollowLocation(*parsed, location)) {
        QL_FUZZ_CHECK(PlainAscii(next->path) && next->path[0] == '/');
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ql::fuzz::Input in(data, size);
    const std::uint8_t what = in.Byte();
    if (what % 4 == 0) {
        CheckRequest(in.Rest());
    } else if (what % 4 == 1) {
        CheckHost(in.Rest());
    } else if (what % 4 == 2) {
        const std::string_view url = in.Field();
        CheckUrl(url, in.Rest());
    } else {
        static constexpr const char* kCodings[] = {"gzip", "deflate", "identity", "x-gzip"};
        const std::size_t limit = in.Byte() * 16u;
        BodyReader reader(kCodings[what / 4 % 4], limit);
        reader.Add(in.Rest());
        QL_FUZZ_CHECK(reader.body().size() <= limit);
    }
    return 0;
}
