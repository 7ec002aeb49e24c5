// Throughput of the HTTP engine against a local server, beside a bare read loop on the same
// body, and the CPU time that the waiting user-interface thread spends during a long request.
//
// Started by bench/http_bench.py, which runs the local server (its port comes in
// QL_TEST_SERVER_PORT) and adds curl's figure for the same body.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/owned_win.h"
#include "bench/bench_clock_win.h"
#include "resolve/xmlhttp.h"
#include "web/http_request.h"
#include "web/timed_request.h"

namespace {

using ql::ByteSet;
using ql::Text;
using ql::bench::Median;
using ql::bench::NowSeconds;

constexpr std::size_t kBodyBytes = 64u << 20;
constexpr int kRounds = 5;

std::string g_port;

Text Url(const std::string& path) { return Text("http://127.0.0.1:" + g_port + path); }

// The whole body through the engine, as the runner's worker gets it.
std::size_t EngineRead() {
    ql::HttpRequestInput in;
    in.address = Url("/big?bytes=" + std::to_string(kBodyBytes));
    return ql::PerformHttpRequest(in).body.size();
}

// A GET of `path` from the local server straight through the system's API, sent; the
// request is empty when it could not be.
struct BareRequest {
    ql::UniqueInternetHandle internet;
    ql::UniqueInternetHandle connection;
    ql::UniqueInternetHandle request;
};

BareRequest SendBareRequest(const std::string& path) {
    BareRequest r;
    r.internet.reset(InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, "", "", 0));
    r.connection.reset(InternetConnectA(r.internet.get(), "127.0.0.1",
                                        static_cast<INTERNET_PORT>(std::atoi(g_port.c_str())), "", "",
                                        INTERNET_SERVICE_HTTP, 0, 0));
    r.request.reset(HttpOpenRequestA(r.connection.get(), "GET", path.c_str(), "HTTP/1.1", "", nullptr,
                                     INTERNET_FLAG_RELOAD | INTERNET_FLAG_NEED_FILE, 0));
    if (r.request && !HttpSendRequestA(r.request.get(), nullptr, 0, nullptr, 0)) {
        r.request.reset();
    }
    return r;
}

// The least the system's API can do: the same request, each block read into one buffer and
// dropped.
std::size_t BareRead(DWORD block) {
    const BareRequest bare = SendBareRequest("/big?bytes=" + std::to_string(kBodyBytes));
    HINTERNET request = bare.request.get();
    if (!request) {
        return 0;
    }
    std::vector<unsigned char> buffer(block);
    std::size_t total = 0;
    DWORD got = 0;
    while (InternetReadFile(request, buffer.data(), block, &got) && got > 0) {
        total += got;
    }
    return total;
}

// The system's part of reading `count` received cookies, without the engine: the request,
// the raw response header block, and the cookie store told of each Set-Cookie line.
void BareCookieRequest(int count) {
    const BareRequest bare = SendBareRequest("/cookies?count=" + std::to_string(count));
    HINTERNET request = bare.request.get();
    if (!request) {
        return;
    }
    DWORD length = 0;
    HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &length, nullptr);
    std::string headers(length + 1, '\0');
    if (!HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, headers.data(), &length, nullptr)) {
        return;
    }
    headers.resize(length);
    const std::string address = "http://127.0.0.1";
    for (std::size_t at = headers.find("Set-Cookie: "); at != std::string::npos;
         at = headers.find("Set-Cookie: ", at)) {
        at += 12;
        const std::string line = headers.substr(at, headers.find("\r\n", at) - at);
        const std::size_t eq = line.find('=');
        InternetSetCookieA(address.c_str(), line.substr(0, eq).c_str(), line.substr(eq + 1).c_str());
    }
}

struct Contender {
    const char* name;
    std::size_t (*read)();
    std::vector<double> rates;  // MB/s, one per round
};

double ThreadCpuMs() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

}  // namespace

int main() {
    char port[32] = {};
    const DWORD n = GetEnvironmentVariableA("QL_TEST_SERVER_PORT", port, sizeof port);
    if (n == 0 || n >= sizeof port) {
        std::fprintf(stderr, "QL_TEST_SERVER_PORT is not set: run bench/http_bench.py\n");
        return 2;
    }
    g_port = port;
    EngineRead();  // the server builds its body once

    // Rounds interleave the contenders, so that a busy moment of the machine is shared out.
    Contender contenders[] = {
        {"engine (HttpRequest)", &EngineRead, {}},
        {"engine through TimedHttpRequest",
         [] { return ql::TimedHttpRequest(Url("/big?bytes=" + std::to_string(kBodyBytes))).size(); },
         {}},
        {"bare InternetReadFile loop, 64 KiB blocks", [] { return BareRead(64 * 1024); }, {}},
        {"bare InternetReadFile loop, 2 KiB blocks", [] { return BareRead(2048); }, {}},
        {"bare InternetReadFile loop, 1 MiB blocks", [] { return BareRead(1 << 20); }, {}},
    };
    for (int round = 0; round < kRounds; ++round) {
        for (Contender& c : contenders) {
            const double start = NowSeconds();
            const std::size_t bytes = c.read();
            const double seconds = NowSeconds() - start;
            if (bytes != kBodyBytes) {
                std::printf("%s: read %zu bytes, expected %zu\n", c.name, bytes, kBodyBytes);
                return 1;
            }
            c.rates.push_back(static_cast<double>(bytes) / 1e6 / seconds);
        }
    }
    std::printf("64 MiB body from a local server, %d rounds:\n", kRounds);
    for (const Contender& c : contenders) {
        std::printf("%-44s median %7.1f MB/s, best %7.1f MB/s\n", c.name, Median(c.rates),
                    *std::max_element(c.rates.begin(), c.rates.end()));
    }
    std::printf("engine / bare 64 KiB loop (medians): %.2f, through the runner %.2f\n",
                Median(contenders[0].rates) / Median(contenders[2].rates),
                Median(contenders[1].rates) / Median(contenders[2].rates));

    const double cpuBefore = ThreadCpuMs();
    const double start = NowSeconds();
    const ByteSet body = ql::TimedHttpRequest(Url("/slow?ms=5000"));
    const double wall = NowSeconds() - start;
    const double cpu = ThreadCpuMs() - cpuBefore;
    std::printf("waiting thread during a %.1f s request: %.1f ms CPU (%s)\n", wall, cpu,
                body.empty() ? "no body!" : "body received");

    // The main action's fetch from a parse service that keeps silent for 5 s.
    {
        Text address = Url("/parse.php?kw=/slow%3Fms%3D5000");
        const double cpuBefore = ThreadCpuMs();
        const double start = NowSeconds();
        const ByteSet page = ql::FetchPageViaXmlHttp(address);
        const double wall = NowSeconds() - start;
        const double cpu = ThreadCpuMs() - cpuBefore;
        std::printf("window thread during a %.1f s silent parse service: %.1f ms CPU, %.2f %% of a core (%s)\n", wall,
                    cpu, cpu / (wall * 10.0), page.empty() ? "no page!" : "page received");
    }

    // Received cookies: the time grows with their number, not with its square. Beside the
    // engine, the system's calls that any reader of the cookies must make, alone: the request,
    // the raw header block and one store call per cookie.
    double engine[2] = {};
    double system[2] = {};
    const int counts[2] = {500, 5000};
    for (int i = 0; i < 2; ++i) {
        std::vector<double> engineTimes, systemTimes;
        for (int round = 0; round < 3; ++round) {
            ql::Text cookies;
            double start = NowSeconds();
            ql::TimedHttpRequest(Url("/cookies?count=" + std::to_string(counts[i])), {}, {}, {}, {}, {}, 60, nullptr,
                                 {}, &cookies);
            engineTimes.push_back(NowSeconds() - start);
            start = NowSeconds();
            BareCookieRequest(counts[i]);
            systemTimes.push_back(NowSeconds() - start);
        }
        engine[i] = Median(engineTimes);
        system[i] = Median(systemTimes);
        std::printf("%4d Set-Cookie lines: through TimedHttpRequest median %.3f s; the system's calls alone %.3f s\n",
                    counts[i], engine[i], system[i]);
    }
    std::printf(
        "5000 / 500 cookies: %.1f times the time through the engine, %.1f for the system's calls alone "
        "(linear: 10)\n",
        engine[1] / engine[0], system[1] / system[0]);
    return 0;
}
