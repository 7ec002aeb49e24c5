#include "service/own_service_win.h"

#include <memory>
#include <mutex>

#include "base/owned_socket_win.h"
#include "service/fetch_url.h"
#include "service/service_server_win.h"

namespace ql::service {

bool ServeServiceAddress(const std::string& base) noexcept {
    try {
        static std::mutex mutex;
        // Kept until the process ends: the server's thread serves for as long as the program
        // runs, and the end of the program ends it with the process.
        static ServiceServer* serving = nullptr;
        static WinsockScope* winsock = nullptr;
        std::lock_guard<std::mutex> lock(mutex);
        if (serving != nullptr) return true;
        const std::optional<FetchUrl> url = ParseFetchUrl(base);
        if (!url || url->https || (url->host != "127.0.0.1" && url->host != "localhost")) return false;
        if (winsock == nullptr) winsock = new WinsockScope;
        if (!winsock->ok()) return false;
        ServerOptions options;
        options.site.bind = "127.0.0.1";
        options.site.port = url->port;
        auto server = std::make_unique<ServiceServer>(options);
        if (!server->Listen(nullptr)) return false;  // another copy, or the service run apart
        server->Start();
        serving = server.release();
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace ql::service
