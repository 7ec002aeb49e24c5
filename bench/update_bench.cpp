// The update check's download path on a 64 MiB archive from a local server: its throughput
// beside the HTTP engine's on the same body in the same run (and the fetch alone, so that the
// cost of saving shows), and how far the process's peak working set rises above its baseline
// while the archive is fetched and saved.
//
// Started by bench/update_bench.py, which runs the local server (its port comes in
// QL_TEST_SERVER_PORT). The archive is written beside this program and removed at the end.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_clock_win.h"
#include "update/check.h"
#include "web/http_request.h"
#include "web/timed_request.h"

namespace {

using ql::bench::Median;
using ql::bench::NowSeconds;

constexpr std::size_t kArchiveBytes = 64u << 20;
constexpr int kRounds = 5;

PROCESS_MEMORY_COUNTERS Memory() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters;
}

double MiB(std::size_t bytes) { return static_cast<double>(bytes) / (1 << 20); }

}  // namespace

int main() {
    char port[32] = {};
    const DWORD n = GetEnvironmentVariableA("QL_TEST_SERVER_PORT", port, sizeof port);
    if (n == 0 || n >= sizeof port) {
        std::fprintf(stderr, "QL_TEST_SERVER_PORT is not set: run bench/update_bench.py\n");
        return 2;
    }
    const ql::Text url = std::string("http://127.0.0.1:") + port + "/big?bytes=" + std::to_string(kArchiveBytes);
    const std::wstring path = ql::ArchivePath();
    auto fileBytes = [&path]() -> long long {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
            return -1;
        }
        return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    };

    // The peak first: it only ever grows, so no other large transfer may come before it.
    const std::size_t baseline = Memory().WorkingSetSize;
    if (!ql::DownloadArchive(url, path) || fileBytes() != static_cast<long long>(kArchiveBytes)) {
        std::printf("the download path did not save the archive\n");
        return 1;
    }
    const std::size_t peak = Memory().PeakWorkingSetSize;
    const double rise = MiB(peak > baseline ? peak - baseline : 0);

    std::vector<double> engine, runner, download;
    for (int round = 0; round < kRounds; ++round) {
        double start = NowSeconds();
        ql::HttpRequestInput in;
        in.address = url;
        const std::size_t got = ql::PerformHttpRequest(in).body.size();
        engine.push_back(static_cast<double>(got) / 1e6 / (NowSeconds() - start));
        if (got != kArchiveBytes) {
            std::printf("engine: read %zu bytes, expected %zu\n", got, kArchiveBytes);
            return 1;
        }
        start = NowSeconds();
        const std::size_t fetched = ql::TimedHttpRequest(url).size();
        runner.push_back(static_cast<double>(fetched) / 1e6 / (NowSeconds() - start));
        start = NowSeconds();
        if (!ql::DownloadArchive(url, path)) {
            std::printf("the download path failed in round %d\n", round + 1);
            return 1;
        }
        download.push_back(static_cast<double>(kArchiveBytes) / 1e6 / (NowSeconds() - start));
    }
    DeleteFileW(path.c_str());

    std::printf("64 MiB archive from a local server, %d rounds:\n", kRounds);
    std::printf("%-44s median %7.1f MB/s, best %7.1f MB/s\n", "engine (HttpRequest)", Median(engine),
                *std::max_element(engine.begin(), engine.end()));
    std::printf("%-44s median %7.1f MB/s, best %7.1f MB/s\n", "the fetch alone (TimedHttpRequest)", Median(runner),
                *std::max_element(runner.begin(), runner.end()));
    std::printf("%-44s median %7.1f MB/s, best %7.1f MB/s\n", "update download path (fetch, check, save)",
                Median(download), *std::max_element(download.begin(), download.end()));
    std::printf("download path / engine (medians): %.2f (goal: at least 0.90)\n", Median(download) / Median(engine));
    const double megabytes = static_cast<double>(kArchiveBytes) / 1e6;
    std::printf("saving the archive (write, flush to disk, move) adds about %.0f ms to the fetch (medians)\n",
                (megabytes / Median(download) - megabytes / Median(runner)) * 1000);
    std::printf(
        "peak working set above baseline during the first download: %.1f MiB = %.2f x the archive "
        "(goal: at most 1.50; baseline %.1f MiB)\n",
        rise, rise / MiB(kArchiveBytes), MiB(baseline));
    return 0;
}
