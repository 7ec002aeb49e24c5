// Pages made to hurt the reader: markup that never closes, one tag with millions of
// attributes, deep or broken JSON. The reading must stay linear in the page's size (its work
// for an 8 MiB page at most ten times that for 1 MiB), find what comes before the trouble,
// and let a broken part cost only itself. Work is counted, not timed (the benchmark times
// 1 MiB against 8 MiB; here 64 KiB against 512 KiB keeps the sanitized build quick).
#include <gtest/gtest.h>

#include "service/reading/html_tokenizer.h"
#include "service/reading/json_ld.h"
#include "service/reading/media_text.h"
#include "service/reading/page_media.h"
#include "tests/service/reading/fixture_site.h"

namespace ql::service {
namespace {

using testing::FixtureSite;
using testing::kOrigin;
using testing::Repeat;

constexpr std::size_t kSmall = std::size_t{64} << 10;
constexpr std::size_t kLarge = 8 * kSmall;

// The media of a page whose bytes are `body`, and the reading's work.
std::vector<std::string> Read(const std::string& body, std::size_t* work,
                              Clock::time_point deadline = Clock::now() + std::chrono::hours(1)) {
    FixtureSite site;
    const FetchedPage page{std::string(kOrigin) + "/p.html", "text/html", "", body};
    return PageMediaAddresses(page, site, 0, Clock::now(), deadline, work);
}

TEST(HostilePages, ReadingStaysLinearAndKeepsWhatCameFirst) {
    const std::string first = "<video src=\"/first.mp4\"></video>";
    const struct {
        const char* name;
        std::string head, piece, tail;
    } rows[] = {
        {"unclosed comments", first, "<!--x>", ""},
        {"unclosed CDATA", first, "<![CDATA[>", ""},
        {"unclosed conditional sections", first, "<![if", ""},
        {"unknown marked sections", first, "<![foo[", ""},
        {"stray tag openings", first, "<a", ""},
        {"stray openings and closings", first, "<a<a>", ""},
        {"unclosed quotes", first, "<a b=\"", ""},
        {"quotes closed far away", first, "<a b=\"x>", "\""},
        {"one tag, millions of attributes", first + "<div", " a=1", ">"},
        {"one tag, millions of media values", first + "<div", " data-a=\"b.mp4\"", ">"},
        {"end tags without names", first, "</ ", ""},
        {"an unclosed script", first + "<script>", "var a = '//x.test/a.mp4'; ", ""},
        {"addresses among fields", first + "<div data-a=\"", ";http://a", "\">"},
        {"player settings nested deeper and deeper", first + "<script>", "setup({sources:[{file:'/a'},'/b',", ""},
        {"a script of quotes", first + "<script>", "\"'`", "</script>"},
        {"entities", first + "<a href=\"", "&amp;&#x41;&notin;&#99999999999;", "\">"},
        {"meta charset bait", first, "<meta charset=", ""},
        {"a punycode charset label", "<meta charset=\"punycode\">" + first, "\xE4\xBE\x8B-", ""},
        {"og structures dropped", first,
         "<meta property=og:video content=/a.mp4><meta property=og:video:type "
         "content=text/html>",
         ""},
    };
    for (const auto& row : rows) {
        std::size_t small = 0, large = 0;
        const std::vector<std::string> found = Read(row.head + Repeat(row.piece, kSmall) + row.tail, &small);
        Read(row.head + Repeat(row.piece, kLarge) + row.tail, &large);
        ASSERT_FALSE(found.empty()) << row.name;
        EXPECT_EQ(found.front(), std::string(kOrigin) + "/first.mp4") << row.name;
        EXPECT_LE(large, 10 * small) << row.name << ": work " << small << " for 64 KiB, " << large << " for 512 KiB";
    }
}

TEST(HostilePages, TheDeadlineEndsTheReading) {
    std::size_t full = 0, cut = 0;
    const std::string page = "<video src=\"/first.mp4\"></video>" + Repeat("<p><a href=\"x.html\">x</a></p>", kLarge);
    Read(page, &full);
    Read(page, &cut, Clock::now() - std::chrono::seconds(1));
    EXPECT_LT(cut, full / 100);
}

TEST(HostilePages, ABrokenPartCostsOnlyItself) {
    const struct {
        const char* name;
        std::string page;
    } rows[] = {
        {"broken JSON-LD", "<script type=\"application/ld+json\">{\"@type\":\"VideoObject\",</script>"},
        {"JSON-LD nested too deep", "<script type=\"application/ld+json\">" + std::string(100000, '[') + "</script>"},
        {"an unknown marked section", "<![foo[ x ]]>"},
        {"a section without a keyword", "<![ x >"},
        {"a bad bracketed host", "<a href=\"http://[zz/a.mp4\">"},
        {"a bad port", "<a href=\"http://\xE4\xBE\x8B.test:99999/a.mp4\">"},
    };
    for (const auto& row : rows) {
        std::size_t work = 0;
        EXPECT_EQ(Read(row.page + "<video src=\"/after.mp4\"></video>", &work),
                  std::vector<std::string>{std::string(kOrigin) + "/after.mp4"})
            << row.name;
    }
}

TEST(HostilePages, JsonLd) {
    const struct {
        const char* name;
        const char* block;
        std::vector<std::string> urls;
    } rows[] = {
        {"one object", R"({"@type":"VideoObject","contentUrl":"a.mp4"})", {"a.mp4"}},
        {"nested, arrays, @graph",
         R"({"@graph":[{"@type":"WebPage","video":{"@type":"http://schema.org/VideoObject","contentUrl":["b","c"]}},
            [{"@type":["Thing","schema:AudioObject"],"contentUrl":"d"}]]})",
         {"b", "c", "d"}},
        {"keys in the block's order",
         R"({"z":{"@type":"VideoObject","contentUrl":"1"},"a":{"@type":"VideoObject","contentUrl":"2"}})",
         {"1", "2"}},
        {"raw line breaks in strings", "{\"@type\":\"VideoObject\",\"name\":\"a\nb\",\"contentUrl\":\"e\"}", {"e"}},
        {"no media object", R"({"@type":"ImageObject","contentUrl":"f.jpg"})", {}},
        {"not strings", R"({"@type":"VideoObject","contentUrl":[1,{"x":"y"},null]})", {}},
        {"broken", R"({"@type":"VideoObject","contentUrl":"g")", {}},
        {"trailing garbage", R"({"@type":"VideoObject","contentUrl":"h"} x)", {}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(JsonLdMedia(row.block), row.urls) << row.name;
}

TEST(HostilePages, MediaInScriptText) {
    const struct {
        const char* text;
        std::vector<std::string> refs;
    } rows[] = {
        // A quoted absolute address is found twice: as a string and as an address (kept once later).
        {R"(a = "http:\/\/cdn.test\/v\/1.mp4")", {"http://cdn.test/v/1.mp4", "http://cdn.test/v/1.mp4"}},
        {R"(b = "\u002F\u002Fcdn.test/2.m3u8?x=1&y=2#t")",
         {"//cdn.test/2.m3u8?x=1&y=2#t", "//cdn.test/2.m3u8?x=1&y=2#t"}},
        {R"(src = 'rel/3.flv'; d = ".mp4"; e = "*.mp4"; f = "x.mp4x")", {"rel/3.flv"}},
        {R"(see https://a.test/4.mp4&autostart=1 and xhttp://b.test/5.mp4)", {"https://a.test/4.mp4"}},
        {R"(u = "https://a.test/6.MP4/page.html")", {}},
        {R"(both: "https://a.test/7.webm")", {"https://a.test/7.webm", "https://a.test/7.webm"}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(MediaInText(row.text), row.refs) << row.text;
}

}  // namespace
}  // namespace ql::service
