// Throughput of URL decoding and of the text operations that read whole pages, at 1 MiB and
// 16 MiB, with the ratios that show whether they stay linear:
//   - UrlDecode 16 MiB time / 1 MiB time (linear is 16; the goal is at most 20);
//   - UrlDecode throughput / Utf8ToGbk throughput on the same bytes (the goal is at least 60 %:
//     the percent pass must cost little beside the code-page conversion);
//   - TextBetween and TextReplace 16 MiB / 1 MiB.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "text/between.h"
#include "text/text.h"
#include "text/url_decode.h"

namespace {

using ql::Text;

constexpr std::size_t kMiB = 1024 * 1024;

// An update-notice-like page: ASCII markup, percent-escapes and raw UTF-8 Chinese.
std::string MixedPage(std::size_t size) {
    const std::string chunk = std::string("<p class=\"notice\">version 20130415; address: "
                                          "http://127.0.0.1/files/qlw_sp.rar?kw=%E7%89%88%E6%9C%AC+1&x=%41%62</p>\n") +
                              u8"<div>青岚综合视频下载精灵，获取下载，复制，打开。</div>\n";
    std::string page;
    page.reserve(size + chunk.size());
    while (page.size() < size) {
        page += chunk;
    }
    page.resize(size);
    // Cut back to a whole line so no sequence is split at the end.
    page.resize(page.rfind('\n') + 1);
    return page;
}

const Text& Page(std::size_t mib) {
    static std::map<std::size_t, Text> pages;
    auto it = pages.find(mib);
    if (it == pages.end()) {
        it = pages.emplace(mib, Text(MixedPage(mib * kMiB))).first;
    }
    return it->second;
}

void BM_UrlDecode(benchmark::State& state) {
    const Text& page = Page(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ql::UrlDecode(page));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}

void BM_Utf8ToGbk(benchmark::State& state) {
    const ql::ByteSet bytes = ql::TextToBytes(Page(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ql::Utf8ToGbk(bytes));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

// A notice page saved as GBK instead of UTF-8: nearly every byte pair is an invalid sequence
// and becomes U+FFFD and then "?"; this must not fall off the fast path.
void BM_UrlDecodeGbkPage(benchmark::State& state) {
    std::string gbk;
    while (gbk.size() < static_cast<std::size_t>(state.range(0)) * kMiB) {
        gbk += "版本:20130415;地址:http://127.0.0.1/qlw_sp.rar;青岚综合视频下载精灵\n";
    }
    const Text page(gbk);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ql::UrlDecode(page));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}

// A marker pair that encloses nearly the whole text, so the right marker is searched for
// through all of it.
void BM_TextBetween(benchmark::State& state) {
    const std::size_t mib = static_cast<std::size_t>(state.range(0));
    const Text source = ql::TextJoin("<start>", std::string(mib * kMiB, 'x'), "<end>");
    for (auto _ : state) {
        benchmark::DoNotOptimize(ql::TextBetween(source, "<START>", "<END>"));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
}

void BM_TextReplace(benchmark::State& state) {
    const Text& page = Page(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ql::TextReplace(page, "%E7", "#"));
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
                timeMs_[r.run_name.function_name + "/" + r.run_name.args] = r.GetAdjustedCPUTime();
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

// A line whose note begins with "goal" also says whether the goal is met.
void Line(const char* what, double value, const char* note, bool met) {
    const bool goal = std::strncmp(note, "goal", 4) == 0;
    std::printf("  %-52s %8.2f   %s%s\n", what, value, note, goal ? (met ? "  met" : "  NOT MET") : "");
}

}  // namespace

int main(int argc, char** argv) {
    // The machine is shared: CPU time, and the fastest of several repetitions, are the figures
    // that other load disturbs least.
    auto configure = [](benchmark::internal::Benchmark* b) {
        b->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true)->ComputeStatistics(
            "min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
    };
    configure(benchmark::RegisterBenchmark("UrlDecode", BM_UrlDecode)->Arg(1)->Arg(16));
    configure(benchmark::RegisterBenchmark("Utf8ToGbk", BM_Utf8ToGbk)->Arg(1)->Arg(16));
    configure(benchmark::RegisterBenchmark("UrlDecodeGbkPage", BM_UrlDecodeGbkPage)->Arg(1));
    configure(benchmark::RegisterBenchmark("TextBetween", BM_TextBetween)->Arg(1)->Arg(16));
    configure(benchmark::RegisterBenchmark("TextReplace", BM_TextReplace)->Arg(1)->Arg(16));
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double url1 = reporter.Ms("UrlDecode/1"), url16 = reporter.Ms("UrlDecode/16");
    const double conv1 = reporter.Ms("Utf8ToGbk/1"), conv16 = reporter.Ms("Utf8ToGbk/16");
    const double between1 = reporter.Ms("TextBetween/1"), between16 = reporter.Ms("TextBetween/16");
    const double replace1 = reporter.Ms("TextReplace/1"), replace16 = reporter.Ms("TextReplace/16");
    const double mb1 = Page(1).size() / 1e6, mb16 = Page(16).size() / 1e6;

    std::printf("\nFigures (mixed page: ASCII markup, percent-escapes, raw UTF-8 Chinese)\n");
    Line("UrlDecode 1 MiB, MB/s", Ratio(mb1, url1 / 1000), "", true);
    Line("UrlDecode 16 MiB, MB/s", Ratio(mb16, url16 / 1000), "", true);
    Line("Utf8ToGbk 1 MiB (conversion alone), MB/s", Ratio(mb1, conv1 / 1000), "", true);
    Line("Utf8ToGbk 16 MiB (conversion alone), MB/s", Ratio(mb16, conv16 / 1000), "", true);
    Line("UrlDecode of a GBK page (invalid UTF-8) 1 MiB, MB/s", Ratio(mb1, reporter.Ms("UrlDecodeGbkPage/1") / 1000), "", true);
    const double growth = Ratio(url16, url1);
    Line("UrlDecode time 16 MiB / 1 MiB", growth, "goal <= 20", growth > 0 && growth <= 20);
    const double share1 = 100 * Ratio(conv1, url1), share16 = 100 * Ratio(conv16, url16);
    Line("UrlDecode / Utf8ToGbk throughput at 1 MiB, %", share1, "goal >= 60", share1 >= 60);
    Line("UrlDecode / Utf8ToGbk throughput at 16 MiB, %", share16, "goal >= 60", share16 >= 60);
    // 1 MiB stays in the cache and 16 MiB does not, so a linear operation shows a little more
    // than 16 here; a quadratic one would show 256.
    Line("TextBetween time 16 MiB / 1 MiB", Ratio(between16, between1), "linear: 16 plus cache effects", true);
    Line("TextReplace time 16 MiB / 1 MiB", Ratio(replace16, replace1), "linear: 16 plus cache effects", true);
    benchmark::Shutdown();
    return 0;
}
