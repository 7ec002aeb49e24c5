// The URL helpers on any address.
#include "fuzz/fuzz_input.h"
#include "web/http_request.h"
#include "web/url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ql;
    fuzz::Input in(data, size);
    const bool ignoreCase = in.Byte() & 1;
    const std::optional<std::int32_t> start = in.MaybeSmall();
    const Text delimiter(in.Field());
    const Text url(in.Rest());

    const Text host = HostFromUrl(url);
    QL_FUZZ_CHECK(fuzz::NoZero(host) && host == TextLower(host));
    QL_FUZZ_CHECK(!fuzz::Holds(host.view(), "/") && !fuzz::Holds(host.view(), ":"));

    // The path is "/" or the address from one of its "/" to the end.
    const Text path = PathFromUrl(url);
    QL_FUZZ_CHECK(path == Text("/") || (fuzz::StartsWith(path.view(), "/") && path.size() <= url.size() &&
                                        url.view().substr(url.size() - path.size()) == path.view()));

    PortFromUrl(url);
    if (IsSecureAddress(url)) {
        const std::int32_t port = ConnectPort(url);
        QL_FUZZ_CHECK(port >= 1 && port <= 65535);
    }

    // What comes before the delimiter is the text up to where TextFind finds it.
    const Text before = TextBefore(url, delimiter, start, ignoreCase);
    const std::int32_t at = TextFind(url, delimiter, start, ignoreCase);
    QL_FUZZ_CHECK(at < 1 ? before.empty() : before.view() == url.view().substr(0, static_cast<std::size_t>(at) - 1));
    return 0;
}
