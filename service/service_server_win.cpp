#include "service/service_server_win.h"

#include <condition_variable>
#include <ctime>
#include <deque>
#include <mutex>

#include "service/page_fetch_win.h"
#include "service/parse_reply.h"
#include "service/socket_io_win.h"

namespace ql::service {

// The places for fetches, shared with the threads that answer parse requests (which may
// outlive the server).
struct ServiceServer::Gate {
    std::mutex mutex;
    std::condition_variable freed;
    int active = 0;
    int waiting = 0;
};

namespace {

constexpr auto kSendTime = std::chrono::seconds(2);
// After its answer a connection is read to its end (and dropped) for this long, so that a
// body the client sent does not turn the close into a reset that loses the answer.
constexpr auto kLingerTime = std::chrono::seconds(1);

std::string Now() { return HttpDate(static_cast<std::int64_t>(std::time(nullptr))); }

struct Client {
    UniqueSocket socket;
    std::string received;
    Clock::time_point until;  // the head's deadline, or the end of lingering
    bool lingering = false;
};

// Sends the answer and ends the sending side; the caller reads what is left and closes.
void SendAnswer(SOCKET socket, const Response& response) {
    SendAll(socket, ResponseBytes(response, Now()), Clock::now() + kSendTime);
    shutdown(socket, SD_SEND);
}

void Drain(SOCKET socket, Clock::time_point until) {
    char buffer[4096];
    while (WaitSocket(socket, POLLRDNORM, until)) {
        const int got = recv(socket, buffer, sizeof buffer, 0);
        if (got <= 0 && !(got < 0 && WSAGetLastError() == WSAEWOULDBLOCK)) return;
    }
}

// A fetcher that fetches nothing and notes whether it was asked to: a reply read through it
// that asked for no page is the whole reply.
class FetchAsked : public PageFetcher {
public:
    std::optional<FetchedPage> Fetch(const std::string&, Clock::time_point, std::string*) override {
        asked = true;
        return std::nullopt;
    }
    bool asked = false;
};

std::string RequestLine(const RequestHead& head) { return head.method + " " + head.target.substr(0, 300); }

}  // namespace

ServiceServer::ServiceServer(ServerOptions options) : options_(std::move(options)), gate_(std::make_shared<Gate>()) {}

ServiceServer::~ServiceServer() { Stop(); }

bool ServiceServer::Listen(std::string* why) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    UniqueAddressList list;
    const std::string& bindName = options_.site.bind;
    if (getaddrinfo(bindName.c_str(), std::to_string(options_.site.port).c_str(), &hints, list.put()) != 0 || !list) {
        if (why) *why = "cannot resolve " + bindName;
        return false;
    }
    const addrinfo* address = list.get();
    listener_.reset(socket(address->ai_family, SOCK_STREAM, IPPROTO_TCP));
    if (!listener_) {
        if (why) *why = "cannot open a socket";
        return false;
    }
    // No other program may take the port over while this one listens there.
    BOOL exclusive = TRUE;
    setsockopt(listener_.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
    if (bind(listener_.get(), address->ai_addr, static_cast<int>(address->ai_addrlen)) != 0 ||
        listen(listener_.get(), SOMAXCONN) != 0) {
        if (why) {
            *why = "cannot listen on " + bindName + ":" + std::to_string(options_.site.port) + " (error " +
                   std::to_string(WSAGetLastError()) + ")";
        }
        listener_.reset();
        return false;
    }
    u_long nonBlocking = 1;
    ioctlsocket(listener_.get(), FIONBIO, &nonBlocking);
    return true;
}

void ServiceServer::Start() {
    thread_ = std::thread([this]() noexcept { Run(); });
}

void ServiceServer::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void ServiceServer::Run() noexcept {
    try {
        std::deque<Client> clients;
        std::vector<WSAPOLLFD> entries;
        const ServiceSite site = options_.site;
        const auto log = options_.log;
        while (!stop_.load()) {
            entries.assign(clients.size() + 1, WSAPOLLFD{});
            entries[0].fd = listener_.get();
            entries[0].events = POLLRDNORM;
            for (std::size_t i = 0; i < clients.size(); ++i) {
                entries[i + 1].fd = clients[i].socket.get();
                entries[i + 1].events = POLLRDNORM;
            }
            if (WSAPoll(entries.data(), static_cast<ULONG>(entries.size()), 100) < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            const auto now = Clock::now();
            // Read what arrived; answer every head that is complete.
            for (std::size_t i = 0; i < clients.size(); ++i) {
                Client& client = clients[i];
                if (entries[i + 1].revents == 0) continue;
                char buffer[8192];
                const int got = recv(client.socket.get(), buffer, sizeof buffer, 0);
                if (got <= 0) {
                    if (!(got < 0 && WSAGetLastError() == WSAEWOULDBLOCK)) client.socket.reset();
                    continue;
                }
                if (client.lingering) continue;
                client.received.append(buffer, static_cast<std::size_t>(got));
                RequestHead head;
                const HeadStatus status = ReadRequestHead(client.received, &head);
                if (status == HeadStatus::kIncomplete) continue;
                client.received.clear();
                client.received.shrink_to_fit();
                if (status != HeadStatus::kComplete) {
                    SendAnswer(client.socket.get(), AnswerUnreadable(status));
                    client.lingering = true;
                    client.until = now + kLingerTime;
                    continue;
                }
                // Whether the answer needs a fetch: asked without fetching anything. A reply that
                // needs no page (a sample address, a media address, one that is not http) is answered
                // from here, like the site's pages: it takes no fetch place.
                bool wantsFetch = false;
                const Response answer = Answer(head, site, [&](std::string_view query) -> std::optional<std::string> {
                    FetchAsked probe;
                    std::string reply = ParseReply(query, site.Base(), probe);
                    if (!probe.asked) return reply;
                    wantsFetch = true;
                    return std::string();
                });
                if (!wantsFetch) {
                    if (log) log(RequestLine(head) + " " + std::to_string(answer.status));
                    SendAnswer(client.socket.get(), answer);
                    client.lingering = true;
                    client.until = now + kLingerTime;
                    continue;
                }
                std::shared_ptr<Gate> gate = gate_;
                {
                    std::lock_guard<std::mutex> lock(gate->mutex);
                    if (gate->waiting >= kMaxWaiting) {
                        SendAnswer(client.socket.get(),
                                   Answer(head, site, [](std::string_view) { return std::optional<std::string>(); }));
                        client.lingering = true;
                        client.until = now + kLingerTime;
                        continue;
                    }
                    ++gate->waiting;
                }
                // The parse request's own thread owns its connection and shares the gate.
                std::thread([gate, site, log, head, allowPrivate = options_.allowPrivate,
                             socket = std::make_shared<UniqueSocket>(std::move(client.socket))]() noexcept {
                    try {
                        bool admitted = false;
                        {
                            std::unique_lock<std::mutex> lock(gate->mutex);
                            admitted =
                                gate->freed.wait_for(lock, kFetchWait, [&] { return gate->active < kMaxFetches; });
                            --gate->waiting;
                            if (admitted) ++gate->active;
                        }
                        std::string why;
                        const Response response = Answer(head, site, [&](std::string_view query) {
                            if (!admitted) return std::optional<std::string>();
                            SystemPageFetcher fetcher(allowPrivate);
                            return std::optional<std::string>(ParseReply(query, site.Base(), fetcher, &why));
                        });
                        if (admitted) {
                            std::lock_guard<std::mutex> lock(gate->mutex);
                            --gate->active;
                            gate->freed.notify_one();
                        }
                        if (log)
                            log(RequestLine(head) + " " + std::to_string(response.status) +
                                (why.empty() ? "" : ": " + why));
                        SendAnswer(socket->get(), response);
                        Drain(socket->get(), Clock::now() + kLingerTime);
                    } catch (...) {
                        // Out of memory: the connection closes unanswered.
                    }
                }).detach();
            }
            // Clients that closed, that took too long over their head, or that were answered.
            for (Client& client : clients) {
                if (client.socket && now >= client.until) client.socket.reset();
            }
            while (!clients.empty() && !clients.front().socket)
                clients.pop_front();
            for (auto it = clients.begin(); it != clients.end();) {
                it = it->socket ? it + 1 : clients.erase(it);
            }
            // Newcomers; at the cap the one that has waited longest makes room.
            if (entries[0].revents != 0) {
                for (int n = 0; n < 64; ++n) {
                    UniqueSocket socket(accept(listener_.get(), nullptr, nullptr));
                    if (!socket) break;
                    u_long nonBlocking = 1;
                    ioctlsocket(socket.get(), FIONBIO, &nonBlocking);
                    if (clients.size() >= kMaxClients) clients.pop_front();
                    Client client;
                    client.socket = std::move(socket);
                    client.until = Clock::now() + kHeadTime;
                    clients.push_back(std::move(client));
                }
            }
        }
    } catch (...) {
        // Out of memory: the service stops answering; the program goes on.
    }
}

}  // namespace ql::service
