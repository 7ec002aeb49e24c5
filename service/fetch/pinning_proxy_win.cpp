#include "service/fetch/pinning_proxy_win.h"

#include <utility>

#include "service/fetch/address_filter.h"
#include "service/fetch/answer_bound.h"
#include "service/fetch/fetch_url.h"
#include "service/fetch/proxy_request.h"
#include "service/fetch/socket_io_win.h"
#include "service/fetch/tls_client_win.h"
#include "service/reading/ascii.h"

namespace ql::service {

namespace {

// Connections one fetch may open through its proxy: one a hop, and a few to spare. An
// extraction asks a site's pages and programming interfaces, a few dozen at most.
constexpr std::size_t kMaxHopConnections = 2 * (kMaxRedirects + 1);
constexpr std::size_t kMaxExtractorConnections = 64;
constexpr std::size_t kMaxProxyHead = 16 * 1024;

// Copies bytes both ways until one side closes, the deadline passes, the proxy stops or the
// server's answer passes its bound (`why` then says how); with `tls`, what goes to and comes
// from the server is sealed and opened by it.
void Relay(SOCKET client, SOCKET server, TlsClient* tls, AnswerBound bound, Clock::time_point deadline,
           const std::atomic<bool>& stop, std::string* why) {
    char buffer[65536];
    std::string opened;
    const auto answer = [&](std::string_view piece) {
        return piece.empty() || (bound.Take(piece, why) && SendAll(client, piece, deadline));
    };
    if (tls) {
        const bool open = tls->OpenReceived(&opened);
        if (!answer(opened) || !open) return;
    }
    while (!stop.load() && Clock::now() < deadline) {
        WSAPOLLFD entries[2] = {};
        entries[0].fd = client;
        entries[0].events = POLLRDNORM;
        entries[1].fd = server;
        entries[1].events = POLLRDNORM;
        const int ready = WSAPoll(entries, 2, 100);
        if (ready < 0) return;
        for (int i = 0; i < 2; ++i) {
            if (entries[i].revents == 0) continue;
            if (i == 1 && tls) {
                opened.clear();
                const bool open = tls->Receive(&opened);
                if (!answer(opened) || !open) return;
                continue;
            }
            const int got = recv(entries[i].fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                if (got < 0 && WSAGetLastError() == WSAEWOULDBLOCK) continue;
                return;
            }
            const std::string_view piece(buffer, static_cast<std::size_t>(got));
            if (!(i == 1 ? answer(piece) : tls ? tls->Send(piece) : SendAll(server, piece, deadline))) return;
        }
    }
}

// The client's request for `hop` in origin form (or, for the system proxy, in absolute form),
// without the headers meant for the proxy and with the Host of the hop's own scheme; one
// request on this connection.
std::string OriginRequest(const std::string& head, const std::string& method, const FetchUrl& hop,
                          bool absolute = false) {
    const std::size_t lineEnd = head.find("\r\n");
    const std::size_t version = head.rfind(' ', lineEnd);
    std::string forward =
        method + " " + (absolute ? hop.Text() : hop.path) + head.substr(version, lineEnd - version) + "\r\n";
    forward += "Host: " + hop.HostHeader() + "\r\n";
    for (std::size_t at = lineEnd + 2; at < head.size();) {
        const std::size_t next = head.find("\r\n", at);
        const std::string_view header(head.data() + at, next - at);
        at = next + 2;
        if (StartsWithIgnoringCase(header, "proxy-") || StartsWithIgnoringCase(header, "connection:") ||
            StartsWithIgnoringCase(header, "host:")) {
            continue;
        }
        forward.append(header.data(), header.size()).append("\r\n");
    }
    return forward + "Connection: close\r\n\r\n";
}

}  // namespace

PinningProxy::PinningProxy(bool allowPrivate, Clock::time_point deadline, LookupFunction lookup, AddressJudge judge,
                           ExtraRoots extraRoots, ProxyScope scope)
    : scope_(scope),
      allowPrivate_(allowPrivate),
      deadline_(deadline),
      lookup_(std::move(lookup)),
      judge_(std::move(judge)),
      extraRoots_(std::move(extraRoots)) {}

PinningProxy::~PinningProxy() {
    stop_ = true;
    if (acceptor_.joinable()) {
        // A connection of our own wakes the acceptor's wait at once instead of at the end of
        // its slice, so that a fetch's end is not held up by its proxy.
        WakeListener();
        acceptor_.join();
    }
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        workers.swap(workers_);
    }
    for (std::thread& worker : workers)
        worker.join();
}

bool PinningProxy::Start(std::string* why) {
    listener_.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    address_.sin_family = AF_INET;
    address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address_.sin_port = 0;
    int length = sizeof address_;
    if (!listener_ || bind(listener_.get(), reinterpret_cast<sockaddr*>(&address_), sizeof address_) != 0 ||
        listen(listener_.get(), 8) != 0 ||
        getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address_), &length) != 0) {
        if (why) *why = "cannot open the fetch's proxy (error " + std::to_string(WSAGetLastError()) + ")";
        return false;
    }
    acceptor_ = std::thread([this]() noexcept { Accept(); });
    return true;
}

void PinningProxy::WakeListener() {
    UniqueSocket wake(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (wake) connect(wake.get(), reinterpret_cast<const sockaddr*>(&address_), sizeof address_);
}

std::string PinningProxy::refusal() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return refusal_;
}

void PinningProxy::Refuse(const std::string& why) {
    std::lock_guard<std::mutex> lock(mutex_);
    refusal_ = why;
}

void PinningProxy::Accept() noexcept {
    try {
        while (WaitSocket(listener_.get(), POLLRDNORM, deadline_, &stop_)) {
            UniqueSocket client(accept(listener_.get(), nullptr, nullptr));
            if (stop_) break;
            if (!client) continue;
            SetNoDelay(client.get());
            std::lock_guard<std::mutex> lock(mutex_);
            const std::size_t most = scope_ == ProxyScope::kExpectedHop ? kMaxHopConnections : kMaxExtractorConnections;
            if (workers_.size() >= most) continue;  // closes the client
            workers_.emplace_back([this, c = std::move(client)]() mutable noexcept { Serve(std::move(c)); });
        }
    } catch (...) {
        // Out of threads or memory: the fetch fails on its own.
    }
}

void PinningProxy::FollowSystemProxy() {
    if (SystemProxySetting setting = ReadSystemProxy(); !setting.proxyList.empty()) systemProxy_ = std::move(setting);
}

void PinningProxy::Expect(const FetchUrl& hop) {
    std::lock_guard<std::mutex> lock(mutex_);
    hop_ = hop;
}

// What the client asks for. For a fetch, only the expected hop, with the path it sent; for an
// extraction, any page or tunnel (the address filter judges each). Nothing (and the refusal
// said) for any other request: for a fetch a tunnel, another method, another host or port.
std::optional<ProxyRequest> PinningProxy::Requested(const std::string& head) {
    const std::string line = head.substr(0, head.find("\r\n"));
    std::optional<ProxyRequest> asked = ParseProxyRequestLine(line);
    if (scope_ == ProxyScope::kAnyHost) {
        if (!asked) Refuse("the extractor asked its proxy for no page: " + line.substr(0, 100));
        return asked;
    }
    FetchUrl hop;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hop = hop_;
    }
    if (!asked || asked->tunnel || asked->method != "GET" || asked->target.host != hop.host ||
        asked->target.port != hop.port) {
        Refuse("the system asked its proxy for something other than the fetch's page: " + line.substr(0, 100));
        return std::nullopt;
    }
    hop.path = asked->target.path;
    asked->target = std::move(hop);
    return asked;
}

// The addresses the filter allows (every one when private targets are allowed); the others
// are listed in `refused`, comma-separated.
std::vector<SocketAddress> PinningProxy::Allowed(std::vector<SocketAddress> addresses, std::string* refused) const {
    std::vector<SocketAddress> allowed;
    for (SocketAddress& address : addresses) {
        const auto ip = ParseIpAddress(address.text);
        if (allowPrivate_ || (ip && judge_(*ip))) {
            allowed.push_back(std::move(address));
        } else {
            *refused += (refused->empty() ? "" : ", ") + address.text;
        }
    }
    return allowed;
}

// Whether `target` may be asked of the system proxy: a literal address the filter allows, or
// a name none of whose addresses here is refused (a name that resolves nowhere here is the far
// end's to resolve, as it is for the browser).
bool PinningProxy::AllowedThroughUpstream(const FetchUrl& target) {
    if (allowPrivate_) return true;
    if (const std::optional<IpAddress> literal = ParseIpAddress(target.host)) {
        if (judge_(*literal)) return true;
        Refuse(target.host + " is not a public address");
        return false;
    }
    std::string why;
    std::string refused;
    Allowed(lookup_(target.host, target.port, deadline_, &why), &refused);
    if (refused.empty()) return true;
    Refuse(target.host + " leads to addresses that are not public: " + refused);
    return false;
}

// Asks the system proxy on `upstream` for a tunnel to `target`; false (with the refusal said
// and the status to answer the client) when it does not open one. Its answer is read a byte
// at a time, so that nothing of what follows it is taken.
bool PinningProxy::OpenUpstreamTunnel(SOCKET upstream, const FetchUrl& target, const char** status) {
    const std::string authority = (target.host.find(':') != std::string::npos ? "[" + target.host + "]" : target.host) +
                                  ":" + std::to_string(target.port);
    *status = "502 Bad Gateway";
    if (!SendAll(upstream, "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n\r\n", deadline_)) {
        Refuse("the system proxy took no request for " + authority);
        return false;
    }
    std::string head;
    while (head.size() < 4 || head.compare(head.size() - 4, 4, "\r\n\r\n") != 0) {
        char c;
        if (head.size() > kMaxProxyHead || !WaitSocket(upstream, POLLRDNORM, deadline_, &stop_) ||
            recv(upstream, &c, 1, 0) != 1) {
            Refuse("the system proxy gave no answer for " + authority);
            *status = "504 Gateway Timeout";
            return false;
        }
        head.push_back(c);
    }
    const std::size_t space = head.find(' ');
    const std::string code = space == std::string::npos ? std::string() : head.substr(space + 1, 3);
    if (code == "200") return true;
    Refuse(code == "407" ? "the system proxy asks for credentials, which the service never sends"
                         : "the system proxy refused " + authority + ": " + head.substr(0, head.find("\r\n")));
    return false;
}

// A connection to one of the addresses of `target` that the filter allows, or to the system
// proxy for it; nothing (with the refusal said and the status to answer the client) when
// there is none.
PinningProxy::Connection PinningProxy::ConnectChecked(const FetchUrl& target, const char** status) {
    Connection connection;
    if (!allowPrivate_ && !HostAllowed(target.host)) {
        Refuse(target.host + " is a local or reserved name or address");
        *status = "403 Forbidden";
        return connection;
    }
    std::string why;
    if (const std::optional<ProxyEndpoint> upstream =
            systemProxy_ ? SystemProxyFor(*systemProxy_, target) : std::nullopt) {
        if (!AllowedThroughUpstream(target)) {
            *status = "403 Forbidden";
            return connection;
        }
        // The system proxy's own address is the one the filter does not judge: the user chose
        // it, and the system's lookup finds it.
        connection.socket = ConnectFirst(Lookup(upstream->host, upstream->port, deadline_, &why), deadline_, &why);
        if (!connection.socket) {
            Refuse("the system proxy " + upstream->host + ":" + std::to_string(upstream->port) + ": " + why);
            *status = "502 Bad Gateway";
            return connection;
        }
        SetNoDelay(connection.socket.get());
        connection.upstream = true;
        return connection;
    }
    std::string refused;
    const std::vector<SocketAddress> allowed = Allowed(lookup_(target.host, target.port, deadline_, &why), &refused);
    if (allowed.empty()) {
        Refuse(refused.empty() ? why : target.host + " leads only to addresses that are not public: " + refused);
        *status = refused.empty() ? "502 Bad Gateway" : "403 Forbidden";
        return connection;
    }
    connection.socket = ConnectFirst(allowed, deadline_, &why);
    if (!connection.socket) {
        Refuse(why);
        *status = "504 Gateway Timeout";
        return connection;
    }
    SetNoDelay(connection.socket.get());
    return connection;
}

void PinningProxy::Serve(UniqueSocket client) noexcept {
    try {
        // The system's request to the proxy: a GET in absolute form.
        std::string head;
        char buffer[4096];
        std::size_t end = std::string::npos;
        while ((end = head.find("\r\n\r\n")) == std::string::npos) {
            if (head.size() > kMaxProxyHead || !WaitSocket(client.get(), POLLRDNORM, deadline_, &stop_)) return;
            const int got = recv(client.get(), buffer, sizeof buffer, 0);
            if (got <= 0) return;
            head.append(buffer, static_cast<std::size_t>(got));
        }
        const std::string rest = head.substr(end + 4);
        head.resize(end + 2);
        const auto answer = [&](const char* status) {
            SendAll(client.get(),
                    std::string("HTTP/1.1 ") + status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
                    deadline_);
        };
        const std::optional<ProxyRequest> asked = Requested(head);
        const char* status = "400 Bad Request";
        Connection connection = asked ? ConnectChecked(asked->target, &status) : Connection();
        if (!connection.socket) return answer(status);
        const SOCKET server = connection.socket.get();
        const FetchUrl& hop = asked->target;
        // Through the system proxy, a tunnel or an https page needs a tunnel of its own there;
        // a plain page is asked of it in absolute form.
        if (connection.upstream && (asked->tunnel || hop.https) && !OpenUpstreamTunnel(server, hop, &status)) {
            return answer(status);
        }
        const bool absolute = connection.upstream && !asked->tunnel && !hop.https;
        std::string why;
        if (asked->tunnel) {
            // The client speaks its own TLS through the tunnel: only the bytes are counted.
            if (SendAll(client.get(), "HTTP/1.1 200 Connection established\r\n\r\n", deadline_) &&
                (rest.empty() || SendAll(server, rest, deadline_))) {
                Relay(client.get(), server, nullptr, AnswerBound(AnswerBound::kBytesOnly), deadline_, stop_, &why);
            }
        } else if (!hop.https) {
            if (SendAll(server, OriginRequest(head, asked->method, hop, absolute) + rest, deadline_)) {
                Relay(client.get(), server, nullptr, AnswerBound(), deadline_, stop_, &why);
            }
        } else {
            TlsClient tls(server, deadline_, extraRoots_);
            if (!tls.Handshake(hop.host, stop_, &why)) {
                Refuse(why);
                return answer("502 Bad Gateway");
            }
            if (tls.Send(OriginRequest(head, asked->method, hop) + rest)) {
                Relay(client.get(), server, &tls, AnswerBound(), deadline_, stop_, &why);
            }
        }
        if (!why.empty()) Refuse(hop.host + ": " + why);
    } catch (...) {
        Refuse("the fetch's proxy ran out of memory");
    }
}

}  // namespace ql::service
