// service_read_page [--repeat N] FILE URL CONTENT-TYPE [CHARSET]: the reply page the service
// gives for a page whose bytes are in FILE, fetched from URL with that content type and header
// charset. With --repeat, the page is read N times and the median time of one reading, in
// microseconds, is printed instead.
// Same-site iframes are fetched over plain HTTP from 127.0.0.1 or localhost only (a test
// site), nothing else. A test tool: it compares the page reading with other readers.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "service/reading/page_address.h"
#include "service/reading/page_media.h"
#include "service/server/parse_reply.h"

namespace {

using namespace ql::service;

// GET over HTTP/1.0 from the loopback test site, following redirects.
class LoopbackFetcher : public PageFetcher {
public:
    std::optional<FetchedPage> Fetch(const std::string& url, Clock::time_point, std::string* why) override {
        std::string address = url;
        for (int hop = 0; hop <= kMaxRedirects; ++hop) {
            const std::optional<AddressParts> parts = SplitAddress(address);
            const std::string host = parts ? HostOf(*parts) : std::string();
            if (!parts || parts->scheme != "http" || (host != "127.0.0.1" && host != "localhost")) {
                if (why) *why = "not a loopback http address";
                return std::nullopt;
            }
            const std::size_t colon = parts->netloc.rfind(':');
            const int port = colon == std::string::npos ? 80 : std::atoi(parts->netloc.c_str() + colon + 1);
            std::string target = parts->path.empty() ? "/" : parts->path;
            if (!parts->query.empty()) target += "?" + parts->query;
            const std::string reply = Get(port, target, parts->netloc);
            const std::size_t headEnd = reply.find("\r\n\r\n");
            if (reply.compare(0, 5, "HTTP/") != 0 || headEnd == std::string::npos) return std::nullopt;
            const int status = std::atoi(reply.c_str() + reply.find(' ') + 1);
            FetchedPage page;
            std::string location;
            std::istringstream head(reply.substr(0, headEnd));
            for (std::string line; std::getline(head, line);) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                const std::size_t c = line.find(':');
                if (c == std::string::npos) continue;
                std::string name = line.substr(0, c);
                for (char& ch : name)
                    ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
                std::string value = line.substr(c + 1);
                value.erase(0, value.find_first_not_of(' '));
                if (name == "location") location = value;
                if (name == "content-type") {
                    const std::size_t semi = value.find(';');
                    page.contentType = value.substr(0, semi);
                    while (!page.contentType.empty() && page.contentType.back() == ' ')
                        page.contentType.pop_back();
                    for (char& ch : page.contentType)
                        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
                    const std::size_t cs = value.find("charset=");
                    if (cs != std::string::npos) page.charset = value.substr(cs + 8);
                }
            }
            if (status >= 300 && status < 400 && !location.empty()) {
                const std::optional<std::string> next = AbsoluteAddress(location, address);
                if (!next) return std::nullopt;
                address = *next;
                continue;
            }
            if (status >= 400) return std::nullopt;
            page.url = address;
            if (!IsMediaType(page.contentType)) page.body = reply.substr(headEnd + 4, kMaxBody);
            return page;
        }
        return std::nullopt;
    }

private:
    static std::string Get(int port, const std::string& target, const std::string& host) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) return {};
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<std::uint16_t>(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::string reply;
        if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
            const std::string request =
                "GET " + target + " HTTP/1.0\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
            if (send(fd, request.data(), request.size(), 0) == static_cast<ssize_t>(request.size())) {
                char buffer[65536];
                for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
                    reply.append(buffer, static_cast<std::size_t>(n));
            }
        }
        close(fd);
        return reply;
    }
};

}  // namespace

int main(int argc, char** argv) {
    int repeat = 0;
    if (argc > 2 && std::string(argv[1]) == "--repeat") {
        repeat = std::atoi(argv[2]);
        argc -= 2;
        argv += 2;
    }
    if (argc < 4) {
        std::cerr << "usage: service_read_page FILE URL CONTENT-TYPE [CHARSET]\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::ostringstream body;
    body << in.rdbuf();
    FetchedPage page{argv[2], argv[3], argc > 4 ? argv[4] : "", body.str()};
    LoopbackFetcher fetcher;
    if (repeat > 0) {
        std::vector<long long> times;
        for (int i = 0; i < repeat; ++i) {
            const Clock::time_point start = Clock::now();
            PageMediaAddresses(page, fetcher, 0, start + kFetchTime, start + kFetchTime);
            times.push_back(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count());
        }
        std::sort(times.begin(), times.end());
        std::printf("%lld\n", times[times.size() / 2]);
        return 0;
    }
    const Clock::time_point now = Clock::now();
    std::vector<std::string> lines = IsMediaType(page.contentType)
                                         ? std::vector<std::string>{page.url}
                                         : PageMediaAddresses(page, fetcher, 0, now + kFetchTime, now + kFetchTime);
    if (lines.empty()) lines.emplace_back(ql::RefusalLine);
    const std::string reply = ReplyPage(lines);
    std::fwrite(reply.data(), 1, reply.size(), stdout);
    return 0;
}
