// The memory a page's reading takes, against the page's size: one tag with millions of
// attributes, a script or JSON-LD block full of media addresses, thousands of distinct links.
// A reader that keeps a node per attribute or per string, or a list of every match, grows to
// many times the page; this one may use at most a few times its size. Every allocation of
// this test program is counted.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "service/reading/page_media.h"
#include "tests/service/reading/fixture_site.h"

namespace {

std::atomic<std::size_t> g_now{0}, g_peak{0};
constexpr std::size_t kHeader = 16;

void* Allocate(std::size_t n) {
    void* block = std::malloc(n + kHeader);
    if (!block) throw std::bad_alloc();
    *static_cast<std::size_t*>(block) = n;
    const std::size_t now = g_now += n;
    std::size_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
    return static_cast<char*>(block) + kHeader;
}

void Release(void* p) noexcept {
    if (!p) return;
    char* block = static_cast<char*>(p) - kHeader;
    g_now -= *reinterpret_cast<std::size_t*>(block);
    std::free(block);
}

}  // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace ql::service {
namespace {

using testing::FixtureSite;
using testing::kOrigin;
using testing::Repeat;

constexpr std::size_t kPageBytes = std::size_t{2} << 20;
// What a reading may use beyond the page it was given, in page sizes.
constexpr std::size_t kMaxPages = 4;

std::string Numbered(const char* head, const char* tail, std::size_t bytes) {
    std::string out;
    for (std::size_t i = 0; out.size() < bytes; ++i)
        out += head + std::to_string(i) + tail;
    return out;
}

TEST(ReadingMemory, AtMostAFewTimesThePage) {
    const struct {
        const char* name;
        std::string page;
    } rows[] = {
        {"one tag, millions of attributes", "<div" + Repeat(" a=1", kPageBytes) + ">"},
        {"one tag, media values", "<div" + Repeat(" data-a=\"b.mp4\" c=\"see http://x.test/y.mp4\"", kPageBytes) + ">"},
        {"a script of media strings", "<script>" + Repeat("\"a.mp4\",'//x.test/b.mp4',", kPageBytes) + "</script>"},
        {"a script of distinct addresses", "<script>" + Numbered("\"/v/", ".mp4\",", kPageBytes) + "</script>"},
        {"JSON-LD full of media",
         "<script type=\"application/ld+json\">[" +
             Repeat("{\"@type\":\"VideoObject\",\"contentUrl\":[\"a.mp4\",\"b\"]},", kPageBytes) + "{}]</script>"},
        {"distinct links", Numbered("<a href=\"/v/", ".mp4\">", kPageBytes)},
        {"entities in values", "<a title=\"" + Repeat("&amp;&#x41;&notin;", kPageBytes) + "\">"},
    };
    for (const auto& row : rows) {
        FixtureSite site;
        const FetchedPage page{std::string(kOrigin) + "/p.html", "text/html", "", row.page};
        const Clock::time_point now = Clock::now();
        const std::size_t before = g_now.load();
        g_peak = before;
        const std::vector<std::string> found = PageMediaAddresses(page, site, 0, now, now + std::chrono::hours(1));
        const std::size_t used = g_peak.load() - before;
        EXPECT_LE(used, kMaxPages * row.page.size())
            << row.name << ": " << used << " bytes for a page of " << row.page.size();
        EXPECT_LE(found.size(), kMaxAddresses) << row.name;
    }
}

}  // namespace
}  // namespace ql::service
