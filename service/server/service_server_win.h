// The parse service's HTTP server on Winsock.
//
// One thread reads every request head (any number of clients waiting costs no thread each);
// a client that has not sent its whole head within kHeadTime is cut, and when kMaxClients are
// waiting the one that has waited longest makes room for the newcomer, so neither idle
// connections nor a burst lock a real request out. Pages, media and every parse request whose
// reply needs no page are answered on that thread at once; a parse request that needs a fetch
// (the request itself says so) is answered on a thread of its own, at most kMaxFetches at
// once: more wait up to kFetchWait for a place, and beyond kMaxWaiting get 503 at once.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "base/owned_socket_win.h"
#include "service/page_fetch.h"
#include "service/server/service_http.h"

namespace ql::service {

constexpr std::chrono::seconds kHeadTime{5};
constexpr std::size_t kMaxClients = 512;
constexpr int kMaxFetches = 4;
constexpr int kMaxWaiting = 16;
constexpr std::chrono::seconds kFetchWait{2};

struct ServerOptions {
    ServiceSite site;
    bool allowPrivate = false;
    // The site extractor asked beside the page reading (its full path), or empty: none.
    std::wstring extractor;
    // Where a line about each request goes (nothing: no log).
    std::function<void(const std::string&)> log;
};

class ServiceServer {
public:
    explicit ServiceServer(ServerOptions options);
    ~ServiceServer();  // stops serving; parse requests under way finish on their own
    ServiceServer(const ServiceServer&) = delete;
    ServiceServer& operator=(const ServiceServer&) = delete;

    // Listens on the site's address; false (with `why`) when it cannot (the port is taken).
    bool Listen(std::string* why);
    // Serves on a thread of its own until Stop or destruction.
    void Start();
    // Serves on the calling thread until Stop.
    void Run() noexcept;
    void Stop();

    struct Gate;

private:
    struct Client;
    void AcceptNewcomers(std::deque<Client>& clients);
    void Read(Client& client, Clock::time_point now);
    bool TakeWaitingPlace();
    void StartFetch(RequestHead head, UniqueSocket socket);

    ServerOptions options_;
    UniqueSocket listener_;
    std::atomic<bool> stop_{false};
    std::shared_ptr<Gate> gate_;
    std::thread thread_;
};

}  // namespace ql::service
