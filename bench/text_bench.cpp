// Growth of every routine that reads whole pages, each at two sizes 16 times apart, with the
// ratios that show whether it stays linear (linear is 16; the goal is at most 20 — 1 MiB stays
// in the cache and 16 MiB does not, a quadratic routine shows 256):
//   - UrlDecode on every page shape: a mixed page, ASCII without "%", raw UTF-8 Chinese
//     without "%", nothing but escapes, and a page saved as GBK;
//   - UrlDecode beside the conversion alone (Utf8ToGbk of the bytes the decoding yields) on
//     each UTF-8 shape: the goal is at least 60 %, the percent pass must cost little;
//   - the searching and cutting routines, the reply rows and the received-cookie reading.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "resolve/reply.h"
#include "text/between.h"
#include "text/text.h"
#include "text/url_decode.h"
#include "web/http_request.h"

namespace {

using ql::Text;

constexpr std::size_t kKiB = 1024;
constexpr std::size_t kMiB = 1024 * kKiB;

// `unit` repeated to `size` bytes, whole units only.
std::string Repeat(const std::string& unit, std::size_t size) {
    std::string out;
    out.reserve(size + unit.size());
    while (out.size() + unit.size() <= size) {
        out += unit;
    }
    return out;
}

const std::string kAsciiLine =
    "<p class=\"notice\">version 20130415; address: http://127.0.0.1/files/qlw_sp.rar?kw=x+1&x=Ab</p>\n";
const std::string kChinese = u8"青岚综合视频下载精灵，获取下载，复制，打开。";
const std::string kEscapedChinese = "%E9%9D%92%E5%B2%9A%E7%BB%BC%E5%90%88";  // 青岚综合
const std::string kMixedLine =
    "<p class=\"notice\">version 20130415; address: http://127.0.0.1/files/qlw_sp.rar?kw=%E7%89%88%E6%9C%AC+1&x=%41%62</p>\n" +
    std::string(u8"<div>青岚综合视频下载精灵，获取下载，复制，打开。</div>\n");
// Compiled to GBK: a notice page saved as GBK, nearly every byte pair an invalid UTF-8 sequence.
const std::string kGbkLine = "版本:20130415;地址:http://127.0.0.1/qlw_sp.rar;青岚综合视频下载精灵\n";

struct Shape {
    const char* name;
    std::string unit;
    bool utf8;  // whether the decoded bytes are UTF-8, so the conversion alone is compared
};
const Shape kShapes[] = {
    {"mixed", kMixedLine, true},        {"ascii", kAsciiLine, true}, {"chinese", kChinese, true},
    {"escapes", kEscapedChinese, true}, {"gbk", kGbkLine, false},
};

// The other routines: each reads a page made of one repeated unit.
struct Routine {
    const char* name;
    std::string unit;
    std::string head, tail;  // around the repeated units
    std::function<void(const Text&)> run;
    std::size_t small, large;
};

const std::vector<Routine>& Routines() {
    static const std::vector<Routine> routines = {
        // The baseline: a search through the page for a byte that is not there, then the page
        // made into a new text (which looks for a zero byte and copies), as fast as memory
        // goes. Between 1 MiB and 16 MiB it grows by more than 16 where the larger page leaves
        // the caches; a routine that searches and copies grows the same.
        {"SearchAndCopy", "x", "", "",
         [](const Text& t) {
             benchmark::DoNotOptimize(t.view().find('y'));
             benchmark::DoNotOptimize(Text(t.view()));
         },
         kMiB, 16 * kMiB},
        // A marker pair that encloses the whole page, so the right marker is searched for
        // through all of it.
        {"TextBetween", "x", "<start>", "<end>",
         [](const Text& t) { benchmark::DoNotOptimize(ql::TextBetween(t, "<START>", "<END>")); }, kMiB, 16 * kMiB},
        {"CutBetween", "http://127.0.0.1/v/1.flv\r\n", ql::ReplyStartMarker, ql::ReplyEndMarker,
         [](const Text& t) { benchmark::DoNotOptimize(ql::CutBetween(t, ql::ReplyStartMarker, ql::ReplyEndMarker)); },
         kMiB, 16 * kMiB},
        {"TextReplace", kMixedLine, "", "",
         [](const Text& t) { benchmark::DoNotOptimize(ql::TextReplace(t, "%E7", "#")); }, kMiB, 16 * kMiB},
        {"TextFind", kMixedLine, "", "", [](const Text& t) { benchmark::DoNotOptimize(ql::TextFind(t, "</body>")); },
         kMiB, 16 * kMiB},
        {"TextFindIgnoreCase", kMixedLine, "", "",
         [](const Text& t) { benchmark::DoNotOptimize(ql::TextFind(t, "</BODY>", 1, true)); }, kMiB, 16 * kMiB},
        {"ReadResultRows", "http://127.0.0.1/v/123456.flv\r\n", "", "",
         [](const Text& t) { benchmark::DoNotOptimize(ql::ReadResultRows(t)); }, kMiB, 16 * kMiB},
        // Smaller sizes: the cookie text is built by joining it anew for every cookie, which
        // at 16 MiB would not end in reasonable time.
        {"CollectReceivedCookies", "Set-Cookie: sid=0123456789abcdef; path=/\r\nX-Other: 1\r\n", "HTTP/1.1 200 OK\r\n",
         "\r\n", [](const Text& t) { benchmark::DoNotOptimize(ql::CollectReceivedCookies(t)); }, 64 * kKiB, kMiB},
    };
    return routines;
}

// Pages are made once and kept for every repetition.
const Text& Page(const std::string& key, const std::function<std::string()>& make) {
    static std::map<std::string, Text> pages;
    auto it = pages.find(key);
    if (it == pages.end()) {
        it = pages.emplace(key, Text(make())).first;
    }
    return it->second;
}

std::string SizeName(std::size_t size) {
    return size >= kMiB ? std::to_string(size / kMiB) + "MiB" : std::to_string(size / kKiB) + "KiB";
}

void Run(benchmark::State& state, const Text& page, const std::function<void(const Text&)>& run) {
    for (auto _ : state) {
        run(page);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}

// Keeps the fastest CPU time per iteration of every benchmark, in milliseconds, for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> shown;
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "min" && !r.error_occurred) {
                timeMs_[r.run_name.function_name] = r.GetAdjustedCPUTime();
                shown.push_back(r);
            }
        }
        ConsoleReporter::ReportRuns(shown);
    }
    double Ms(const std::string& name) const {
        const auto it = timeMs_.find(name);
        return it == timeMs_.end() ? 0.0 : it->second;
    }

private:
    std::map<std::string, double> timeMs_;
};

double Ratio(double a, double b) { return b > 0 ? a / b : 0.0; }

void Goal(const std::string& what, double value, bool atMost, double goal) {
    const bool met = value > 0 && (atMost ? value <= goal : value >= goal);
    std::printf("  %-52s %8.2f   goal %s %g  %s\n", what.c_str(), value, atMost ? "<=" : ">=", goal,
                met ? "met" : "NOT MET");
}

}  // namespace

int main(int argc, char** argv) {
    // Both sizes run on memory the process already holds: without this the C library maps
    // every buffer of 16 MiB afresh, and its page faults, not the routine, make the difference.
    mallopt(M_MMAP_THRESHOLD, 256 * kMiB);
    mallopt(M_TRIM_THRESHOLD, 1024 * kMiB);
    // The machine is shared: CPU time, and the fastest of several repetitions, are the figures
    // that other load disturbs least.
    auto configure = [](benchmark::internal::Benchmark* b) {
        b->Unit(benchmark::kMillisecond)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true)
            ->ComputeStatistics("min",
                                [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
    };
    auto add = [&](const std::string& name, std::function<const Text&()> page, std::function<void(const Text&)> run) {
        configure(
            benchmark::RegisterBenchmark(name.c_str(), [page, run](benchmark::State& s) { Run(s, page(), run); }));
    };
    const auto urlDecode = [](const Text& t) { benchmark::DoNotOptimize(ql::UrlDecode(t)); };
    const auto convert = [](const Text& t) { benchmark::DoNotOptimize(ql::Utf8ToGbk(ql::TextToBytes(t))); };
    for (const Shape& shape : kShapes) {
        for (std::size_t mib : {1, 16}) {
            const std::string key = std::string(shape.name) + "/" + SizeName(mib * kMiB);
            const std::string unit = shape.unit;
            const auto page = [key, unit, mib]() -> const Text& {
                return Page(key, [&] { return Repeat(unit, mib * kMiB); });
            };
            add("UrlDecode/" + key, page, urlDecode);
            if (shape.utf8) {
                // The conversion alone, on the bytes the decoding hands to it.
                add(
                    "Utf8ToGbk/" + key,
                    [key, page]() -> const Text& {
                        return Page("decoded " + key, [&] {
                            std::string decoded;
                            for (std::size_t i = 0; i < page().size();) {
                                const bool escape = page()[i] == '%' && i + 2 < page().size();
                                decoded +=
                                    escape ? static_cast<char>(std::stoi(page().str().substr(i + 1, 2), nullptr, 16))
                                           : static_cast<char>(page()[i]);
                                i += escape ? 3 : 1;
                            }
                            return decoded;
                        });
                    },
                    convert);
            }
        }
    }
    for (const Routine& r : Routines()) {
        for (std::size_t size : {r.small, r.large}) {
            const std::string key = std::string(r.name) + "/" + SizeName(size);
            const Routine* routine = &r;
            add(
                key,
                [key, routine, size]() -> const Text& {
                    return Page(key, [&] { return routine->head + Repeat(routine->unit, size) + routine->tail; });
                },
                r.run);
        }
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nGrowth (time at the larger size / time at the smaller, 16 times the bytes) and share\n");
    for (const Shape& shape : kShapes) {
        const std::string s = shape.name;
        const double url1 = reporter.Ms("UrlDecode/" + s + "/1MiB"), url16 = reporter.Ms("UrlDecode/" + s + "/16MiB");
        Goal("UrlDecode " + s + " 16 MiB / 1 MiB", Ratio(url16, url1), true, 20);
        if (shape.utf8) {
            for (const char* size : {"1MiB", "16MiB"}) {
                const double share =
                    100 * Ratio(reporter.Ms("Utf8ToGbk/" + s + "/" + size), reporter.Ms("UrlDecode/" + s + "/" + size));
                Goal("UrlDecode " + s + " " + size + ", % of the conversion's speed", share, false, 60);
            }
        }
    }
    const auto growth = [&](const Routine& r) {
        return Ratio(reporter.Ms(std::string(r.name) + "/" + SizeName(r.large)),
                     reporter.Ms(std::string(r.name) + "/" + SizeName(r.small)));
    };
    // Linear is at most 20, or at most a quarter above the baseline's; quadratic is 256.
    const double copyGrowth = growth(Routines().front());
    std::printf("  %-52s %8.2f\n", "SearchAndCopy 16MiB / 1MiB (baseline)", copyGrowth);
    for (const Routine& r : Routines()) {
        if (&r != &Routines().front()) {
            Goal(std::string(r.name) + " " + SizeName(r.large) + " / " + SizeName(r.small), growth(r), true,
                 std::max(20.0, 1.25 * copyGrowth));
        }
    }
    benchmark::Shutdown();
    return 0;
}
