#include "service/server/service_server_win.h"

#include <condition_variable>
#include <ctime>
#include <deque>
#include <mutex>

#include "service/fetch/extractor_win.h"
#include "service/fetch/page_fetch_win.h"
#include "service/fetch/socket_io_win.h"
#include "service/server/parse_reply.h"

namespace ql::service {

// The places for fetches, shared with the threads that answer parse requests (which may
// outlive the server).
struct ServiceServer::Gate {
    std::mutex mutex;
    std::condition_variable freed;
    int active = 0;
    int waiting = 0;
};

struct ServiceServer::Client {
    UniqueSocket socket;
    std::string received;
    Clock::time_point until;  // the head's deadline, or the end of lingering
    bool lingering = false;
};

namespace {

constexpr auto kSendTime = std::chrono::seconds(2);
// After its answer a connection is read to its end (and dropped) for this long, so that a
// body the client sent does not turn the close into a reset that loses the answer.
constexpr auto kLingerTime = std::chrono::seconds(1);

std::string Now() { return HttpDate(static_cast<std::int64_t>(std::time(nullptr))); }

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

// The fetcher of the replies that need no page (a sample address, a media address, one that
// is not http): it is never asked, and would fetch nothing.
class NoPage : public PageFetcher {
public:
    std::optional<FetchedPage> Fetch(const std::string&, Clock::time_point, std::string* why) override {
        if (why) *why = "no page is fetched for this reply";
        return std::nullopt;
    }
};

// Whether the client of a parse request under way has closed its connection or cut it: its
// answer is then given up, and the extractor ended.
bool ClientGone(SOCKET client) {
    char byte;
    const int got = recv(client, &byte, 1, MSG_PEEK);
    return got == 0 || (got < 0 && WSAGetLastError() != WSAEWOULDBLOCK);
}

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
    // No other program may take the port over while this one listens there.
    listener_ = BindExclusive(address->ai_addr, static_cast<int>(address->ai_addrlen));
    if (!listener_ || listen(listener_.get(), SOMAXCONN) != 0) {
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
            for (std::size_t i = 0; i < clients.size(); ++i) {
                if (entries[i + 1].revents != 0) Read(clients[i], now);
            }
            // Clients that closed, that took too long over their head, or that were answered.
            for (Client& client : clients) {
                if (client.socket && now >= client.until) client.socket.reset();
            }
            for (auto it = clients.begin(); it != clients.end();) {
                it = it->socket ? it + 1 : clients.erase(it);
            }
            if (entries[0].revents != 0) AcceptNewcomers(clients);
        }
    } catch (...) {
        // Out of memory: the service stops answering; the program goes on.
    }
}

// Newcomers; at the cap the one that has waited longest makes room.
void ServiceServer::AcceptNewcomers(std::deque<Client>& clients) {
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

// Reads what a client sent. Once its head is whole, the request itself says whether its
// answer needs a page fetched: one that does goes to a thread of its own (or gets 503 when too
// many wait already); every other is answered here, once.
void ServiceServer::Read(Client& client, Clock::time_point now) {
    char buffer[8192];
    const int got = recv(client.socket.get(), buffer, sizeof buffer, 0);
    if (got <= 0) {
        if (!(got < 0 && WSAGetLastError() == WSAEWOULDBLOCK)) client.socket.reset();
        return;
    }
    if (client.lingering) return;
    client.received.append(buffer, static_cast<std::size_t>(got));
    RequestHead head;
    const HeadStatus status = ReadRequestHead(client.received, &head);
    if (status == HeadStatus::kIncomplete) return;
    client.received.clear();
    client.received.shrink_to_fit();
    const ServiceSite& site = options_.site;
    Response answer;
    if (status != HeadStatus::kComplete) {
        answer = AnswerUnreadable(status);
    } else if (const std::optional<std::string_view> query = ParseQuery(head, site); query && ReplyNeedsFetch(*query)) {
        if (TakeWaitingPlace()) return StartFetch(std::move(head), std::move(client.socket));
        answer = Answer(head, site, [](std::string_view) { return std::optional<std::string>(); });
    } else {
        answer = Answer(head, site, [&](std::string_view rawQuery) {
            NoPage none;
            return std::optional<std::string>(ParseReply(rawQuery, site.Base(), none));
        });
    }
    if (options_.log) options_.log(RequestLine(head) + " " + std::to_string(answer.status));
    SendAnswer(client.socket.get(), answer);
    client.lingering = true;
    client.until = now + kLingerTime;
}

bool ServiceServer::TakeWaitingPlace() {
    std::lock_guard<std::mutex> lock(gate_->mutex);
    if (gate_->waiting >= kMaxWaiting) return false;
    ++gate_->waiting;
    return true;
}

// Answers a parse request that needs a fetch on a thread of its own, which owns the connection
// and shares the gate: with the page's reply once a fetch place is free in time, else 503.
void ServiceServer::StartFetch(RequestHead head, UniqueSocket socket) {
    std::thread([gate = gate_, options = options_, head = std::move(head),
                 socket = std::make_shared<UniqueSocket>(std::move(socket))]() noexcept {
        try {
            bool admitted = false;
            {
                std::unique_lock<std::mutex> lock(gate->mutex);
                admitted = gate->freed.wait_for(lock, kFetchWait, [&] { return gate->active < kMaxFetches; });
                --gate->waiting;
                if (admitted) ++gate->active;
            }
            std::string why;
            const Response response = Answer(head, options.site, [&](std::string_view query) {
                if (!admitted) return std::optional<std::string>();
                SystemPageFetcher fetcher(options.allowPrivate);
                if (options.extractor.empty()) {
                    return std::optional<std::string>(ParseReply(query, options.site.Base(), fetcher, &why));
                }
                SystemSiteExtractor extractor(options.extractor, options.allowPrivate,
                                              [client = socket->get()] { return ClientGone(client); });
                return std::optional<std::string>(ParseReply(query, options.site.Base(), fetcher, &why, &extractor));
            });
            if (admitted) {
                std::lock_guard<std::mutex> lock(gate->mutex);
                --gate->active;
                gate->freed.notify_one();
            }
            if (options.log)
                options.log(RequestLine(head) + " " + std::to_string(response.status) +
                            (why.empty() ? "" : ": " + why));
            SendAnswer(socket->get(), response);
            Drain(socket->get(), Clock::now() + kLingerTime);
        } catch (...) {
            // Out of memory: the connection closes unanswered.
        }
    }).detach();
}

}  // namespace ql::service
