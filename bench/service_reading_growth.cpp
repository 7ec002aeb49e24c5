// The growth of the service's page reading with the page's size: the median CPU time of one
// reading of a 1 MiB and an 8 MiB page (8 MiB is the most of a body the service keeps), for a
// plain video page and for hostile ones, read as the service reads a fetched page (no
// iframes are fetched: the fetcher refuses every address). bench/service_bench.py prints the
// figures in its table; run alone, it prints one line per page kind:
//
//   service_reading_growth [RUNS]      → "KIND<TAB>US_1MIB<TAB>US_8MIB<TAB>ADDRESSES_8MIB"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "service/reading/page_media.h"

namespace {

using namespace ql::service;

class NoFetcher : public PageFetcher {
public:
    std::optional<FetchedPage> Fetch(const std::string&, Clock::time_point, std::string* why) override {
        if (why) *why = "no network in the benchmark";
        return std::nullopt;
    }
};

// `piece` repeated after `head` up to exactly `size` bytes.
std::string Page(const std::string& head, const std::string& piece, std::size_t size) {
    std::string page = head;
    page.reserve(size + piece.size());
    while (page.size() < size)
        page += piece;
    page.resize(size);
    return page;
}

struct Kind {
    const char* name;
    std::string head;
    std::string piece;
};

const std::vector<Kind>& Kinds() {
    static const std::vector<Kind> kinds = {
        // A video page's usual mix: text, links, images, a script with a player's settings.
        {"plain page", "<!DOCTYPE html><html><head><title>clip</title></head><body><video src=\"/v/a.mp4\"></video>",
         "<div class=\"item\"><p>Some text about the clip &amp; its maker, with a <a href=\"/watch/12345.html\">"
         "link</a> and <img src=\"/img/12345.jpg\" alt=\"thumb\"></p><script>var player = {\"id\": 12345, "
         "\"poster\": \"/img/p.jpg\", \"autoplay\": false};</script></div>\n"},
        // A comment that never closes: everything after it is comment text.
        {"unclosed <!--x>", "<video src=\"/v/a.mp4\"></video><!--x>", "<p>text <a href=\"/x.mp4\">x</a></p>\n"},
        // Tags that never close: "<a<a<a…".
        {"unclosed tags <a<a", "<video src=\"/v/a.mp4\"></video>", "<a"},
        // One tag with millions of attributes.
        {"one tag, many attributes", "<video src=\"/v/a.mp4\"></video><div", " a=1"},
        // A script that never ends, full of quotes and escapes.
        {"unclosed <script>", "<video src=\"/v/a.mp4\"></video><script>", "var s = \"a\\\"b\\/c\" + 'd\\u002Fe';\n"},
    };
    return kinds;
}

// Microseconds of CPU time of this thread: the reading runs on it alone, and other processes'
// load on a shared machine does not count.
long long ThreadMicroseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<long long>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

// Microseconds of one reading; the addresses found in `found`.
long long Reading(const FetchedPage& page, std::size_t* found) {
    NoFetcher fetcher;
    const Clock::time_point start = Clock::now();
    const long long cpu = ThreadMicroseconds();
    const std::vector<std::string> rows =
        PageMediaAddresses(page, fetcher, 0, start + std::chrono::hours(1), start + std::chrono::hours(1));
    *found = rows.size();
    return ThreadMicroseconds() - cpu;
}

long long Median(std::vector<long long> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    for (const Kind& kind : Kinds()) {
        const FetchedPage small{"http://127.0.0.1/page.html", "text/html", "utf-8",
                                Page(kind.head, kind.piece, std::size_t{1} << 20)};
        const FetchedPage big{"http://127.0.0.1/page.html", "text/html", "utf-8",
                              Page(kind.head, kind.piece, kMaxBody)};
        // Alternately, so that a change of the machine's state weighs on both alike.
        std::vector<long long> smallTimes, bigTimes;
        std::size_t found = 0;
        for (int i = 0; i < runs; ++i) {
            smallTimes.push_back(Reading(small, &found));
            bigTimes.push_back(Reading(big, &found));
        }
        std::printf("%s\t%lld\t%lld\t%zu\n", kind.name, Median(smallTimes), Median(bigTimes), found);
    }
    return 0;
}
