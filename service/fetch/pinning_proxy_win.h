// The proxy through which the system's HTTP stack fetches pages, so that the address filter
// judges the very address a connection goes to. The system resolves nothing itself: it asks
// this proxy in plain HTTP ("GET http://host:port/…"), for the one address the fetch expects
// next; the proxy looks the name up, keeps only the addresses the filter allows, connects to
// one of those and relays the bytes. For an https address the proxy speaks the TLS itself, with
// the system's own TLS (TlsClient), so the system's HTTP stack never runs a TLS handshake
// through a proxy. A name that answers differently the second time changes nothing: there is
// no second lookup.
//
// The site extractor is given a proxy of its own that serves any host (ProxyScope::kAnyHost):
// its plain requests are relayed the same way, and its https connections are tunnels
// (CONNECT) to a checked address, whose TLS the extractor speaks itself.
//
// One proxy serves one fetch or one extraction: it listens on 127.0.0.1 on a port of the
// system's choosing and cuts every connection at the deadline, however slowly the server
// trickles, and every answer past its bound (AnswerBound).
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/owned_socket_win.h"
#include "service/fetch/address_filter.h"
#include "service/fetch/fetch_url.h"
#include "service/fetch/proxy_request.h"
#include "service/fetch/socket_io_win.h"
#include "service/fetch/system_proxy_win.h"
#include "service/fetch/tls_client_win.h"
#include "service/page_fetch.h"

namespace ql::service {

// Whether a fetch may connect to an address when private targets are not allowed: the address
// filter's IsPublicAddress, or what a test judges in its place.
using AddressJudge = std::function<bool(const IpAddress&)>;

// What a proxy serves: the one hop its fetch expects next, or (for the site extractor, which
// may ask many hosts, and tunnels its https connections) any page and tunnel the filter allows.
enum class ProxyScope { kExpectedHop, kAnyHost };

class PinningProxy {
public:
    // `lookup` answers the addresses of a name (the system's lookup unless told otherwise);
    // `judge` says which addresses are public; `extraRoots` are trusted beside the system's.
    PinningProxy(bool allowPrivate, Clock::time_point deadline, LookupFunction lookup = Lookup,
                 AddressJudge judge = IsPublicAddress, ExtraRoots extraRoots = {},
                 ProxyScope scope = ProxyScope::kExpectedHop);
    ~PinningProxy();
    PinningProxy(const PinningProxy&) = delete;
    PinningProxy& operator=(const PinningProxy&) = delete;

    // Reads the user's system proxy setting, once (before Start), and from then on sends each
    // connection it does not bypass through that proxy, by the target's name (the proxy
    // resolves it), once the target has passed the filter: a literal address is judged as
    // ever, and a name that resolves here only when all its addresses are public; one that
    // resolves nowhere here is the far end's to resolve. No proxy set changes nothing.
    void FollowSystemProxy();
    // Listens and starts serving; false (with `why`) when it cannot.
    bool Start(std::string* why);
    int port() const { return ntohs(address_.sin_port); }
    // Why the last connection asked for was refused or failed, or empty.
    std::string refusal() const;
    // Cuts every connection now and takes no more: the system, closing a request whose body
    // it has not read to its end, would otherwise read the rest first.
    void Cut() { stop_ = true; }
    // The address the system is asked for next: the proxy serves requests for its host and
    // port only, and speaks TLS to the server when it is an https one.
    void Expect(const FetchUrl& hop);

private:
    void Accept() noexcept;
    void Serve(UniqueSocket client) noexcept;
    std::optional<ProxyRequest> Requested(const std::string& head);
    struct Connection {
        UniqueSocket socket;
        bool upstream = false;  // to the system proxy, which is asked for the target
    };
    Connection ConnectChecked(const FetchUrl& target, const char** status);
    std::vector<SocketAddress> Allowed(std::vector<SocketAddress> addresses, std::string* refused) const;
    bool AllowedThroughUpstream(const FetchUrl& target);
    bool OpenUpstreamTunnel(SOCKET upstream, const FetchUrl& target, const char** status);
    void Refuse(const std::string& why);
    void WakeListener();

    const ProxyScope scope_;
    const bool allowPrivate_;
    const Clock::time_point deadline_;
    const LookupFunction lookup_;
    const AddressJudge judge_;
    std::optional<SystemProxySetting> systemProxy_;  // set before Start
    const ExtraRoots extraRoots_;
    UniqueSocket listener_;
    sockaddr_in address_{};  // where the proxy listens, once started
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::string refusal_;
    FetchUrl hop_;                      // guarded by mutex_
    std::vector<std::thread> workers_;  // guarded by mutex_
    std::thread acceptor_;
};

}  // namespace ql::service
