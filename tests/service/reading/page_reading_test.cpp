// The service's page reading on the fixture site's pages: a media address missed, out of
// order, listed twice or not as plain ASCII, a player page or a subtitle listed as media, a
// page in GBK read in the wrong charset, an iframe of another site followed, or more fetches
// than allowed would all show here.
#include <gtest/gtest.h>

#include "service/reading/page_media.h"
#include "tests/service/reading/fixture_site.h"

namespace ql::service {
namespace {

using testing::FixtureSite;
using testing::kOrigin;
using testing::ReplaceAll;

const char* const kCdn = "https://cdn.example.test";

std::vector<std::string> Lines(std::initializer_list<std::string> lines) {
    std::vector<std::string> out;
    for (const std::string& line : lines)
        out.push_back(ReplaceAll(ReplaceAll(line, "{O}", kOrigin), "{C}", kCdn));
    return out;
}

// The rows of one page at {O}/p/page.html.
std::vector<std::string> Read(const std::string& body, const char* type = "text/html") {
    FixtureSite site;
    const Clock::time_point now = Clock::now();
    const FetchedPage page{std::string(kOrigin) + "/p/page.html", type, "", body};
    return PageMediaAddresses(page, site, 0, now, now + kFetchTime);
}

struct Snippet {
    const char* name;
    const char* type;
    std::string body;
    std::vector<std::string> rows;
};

void ExpectRows(const std::vector<Snippet>& table) {
    for (const Snippet& row : table)
        EXPECT_EQ(Read(row.body, row.type), row.rows) << row.name;
}

TEST(PageReading, FixturePages) {
    const std::vector<std::string> html5 =
        Lines({"{O}/media/ep12-1080p.mp4", "{O}/media/ep12-720p.webm", "{C}/audio/ep12-commentary.mp3",
               "{O}/media/ep12-theme.m4a", "{O}/media/ep12-theme.ogg"});
    // The path as UTF-8, the query in the page's charset.
    const std::string clipPath = "{O}/media/%E8%A7%86%E9%A2%91/%E7%89%87%E6%AE%B5%E4%B8%80.mp4";
    const std::vector<std::string> gbk =
        Lines({clipPath, "{O}/media/clip.mp4?title=%C6%AC%B6%CE%D2%BB&q=%B8%DF%C7%E5"});
    const struct {
        const char* path;
        std::vector<std::string> lines;
    } rows[] = {
        {"/pages/html5-player.html", html5},
        {"/pages/opengraph.html",
         Lines({"{O}/stream/sunset-720", "http://cdn.example.test/clips/sunset/720.mp4", "{C}/clips/sunset/720.mp4",
                "{C}/clips/sunset/ambient.mp3", "{C}/clips/sunset/twitter-480.mp4"})},
        {"/pages/json-ld.html", Lines({"{C}/recipes/hongshaorou/1080.mp4", "{O}/media/hsr/steps.m3u8",
                                       "{O}/stream/hsr-prep", "{C}/recipes/hongshaorou/prep-480.mp4"})},
        {"/pages/script-player.html", Lines({"{O}/media/night-market/index.m3u8", "{O}/media/night-market-720.mp4",
                                             "{C}/v/4411/h264_1080.mp4?token=a1b2&expires=1710000000",
                                             "{C}/v/4411/manifest.mpd", "{C}/v/4411/fallback_480.mp4"})},
        {"/pages/flash-player.html",
         Lines({"{O}/media/interview.flv", "{O}/media/interview-hq.mov", "{O}/media/interview.mkv?dl=1"})},
        {"/pages/relative-base.html", Lines({"{O}/media/2024/lecture-01.m4v", "{O}/media/2024/lecture-01.ogv",
                                             "{O}/media/2023/lecture-00.mp4?lang=zh&t=30",
                                             "{O}/media/2024/%E7%AC%AC1%E8%AE%B2%20%E7%B2%BE%E8%AE%B2.mp4",
                                             "http://cdn.example.test/lectures/01.webm"})},
        {"/pages/gbk-meta.html", gbk},
        {"/pages/gbk-http-equiv.html", gbk},
        {"/pages/gbk-header.html", gbk},
        {"/pages/gbk-unlabelled.html", gbk},
        {"/pages/utf8-unlabelled.html",
         Lines({clipPath, "{O}/media/clip.mp4?title=%E7%89%87%E6%AE%B5%E4%B8%80&q=%E9%AB%98%E6%B8%85"})},
        // The same-site iframe in its place; the other sites' iframes and the iframe's own
        // iframe not followed.
        {"/pages/iframe-embed.html", Lines({"{O}/media/news-intro.mp4", "{O}/media/embed-77.mp4",
                                            "{O}/media/embed-77/playlist.m3u8", "{O}/media/news-outro.mp4"})},
        {"/pages/no-media.html", {}},
        {"/missing.html", {}},
        // A media address is listed as it is: by its extension (not fetched), or by its type.
        {"/media/nowhere/clip.MP4#t=10", Lines({"{O}/media/nowhere/clip.MP4#t=10"})},
        {"/stream/42", Lines({"{O}/stream/42"})},
        {"/live/7", Lines({"{O}/live/7"})},
        {"/redirect/2/stream/42", Lines({"{O}/redirect/2/stream/42"})},
        {"/redirect/5/pages/gbk-header.html", gbk},
        {"/redirect/6/pages/gbk-header.html", {}},
    };
    for (const auto& row : rows) {
        FixtureSite site;
        EXPECT_EQ(MediaAddresses(std::string(kOrigin) + row.path, site), row.lines) << row.path;
    }
}

// A bare relative string in a script or JSON is data unless the script gives it as an
// address; resolved against the page, it would be a row that does not exist.
TEST(PageReading, BareStringsInScriptsAreDataUnlessGivenAsAddresses) {
    ExpectRows({
        {"a storage key and a file name beside the file's CDN address", "text/html",
         R"(<script>window.__DATA__={"media":{"key":"userupload/3180525/file/original-x.mp4",)"
         R"("filename":"original-x.mp4","url":"https:\/\/cdn.example.test\/userupload\/3180525\/file\/original-x.mp4"}}</script>)",
         Lines({"{C}/userupload/3180525/file/original-x.mp4"})},
        {"values of address keys", "text/html",
         R"(<script>player.src = "clips/a.mp4"; cfg = {file: 'clips/b.mp4', "videoUrl": "clips/c.m3u8"};)"
         R"( p.setSrc("clips/d.webm"); if (name == "clips/no.mp4") {}</script>)",
         Lines({"{O}/p/clips/a.mp4", "{O}/p/clips/b.mp4", "{O}/p/clips/c.m3u8", "{O}/p/clips/d.webm"})},
        {"explicit relatives and bare data", "text/html",
         R"(<script>var list = ["clips/e.mp4"], name = "clips/f.mp4", up = "../g.mp4", here = './h.mp4',)"
         R"( root = "/i.mp4";</script>)",
         Lines({"{O}/g.mp4", "{O}/p/h.mp4", "{O}/i.mp4"})},
        {"a JSON body", "application/json", R"({"name":"clips/j.mp4","source":"clips/k.mp4"})",
         Lines({"{O}/p/clips/k.mp4"})},
        {"attributes resolve as browsers do", "text/html", R"(<a href="clips/l.mp4"></a><div data-src="clips/m.mp4">)",
         Lines({"{O}/p/clips/l.mp4", "{O}/p/clips/m.mp4"})},
    });
}

// A value that is fields, one of them an address, gives the address alone.
TEST(PageReading, AnAddressAmongFieldsEndsWhereTheNextFieldBegins) {
    ExpectRows({
        {"a jsdata value", "text/html", R"(<div jsdata="Kwyn5e;https://cdn.example.test/a.mp3?key=-;$0"></div>)",
         Lines({"{C}/a.mp3?key=-"})},
        {"a data- value of fields", "text/html", R"(<div data-state="7;https://cdn.example.test/b.mp4?sig=x,y;1">)",
         Lines({"{C}/b.mp4?sig=x,y"})},
        {"a refresh", "text/html", R"(<meta http-equiv="refresh" content="0;url=https://cdn.example.test/c.mp4?t=1">)",
         Lines({"{C}/c.mp4?t=1"})},
        {"a list of addresses", "text/html",
         R"(<div data-list="https://cdn.example.test/d.mp4?q=1,https://cdn.example.test/e.mp4?q=2">)",
         Lines({"{C}/d.mp4?q=1", "{C}/e.mp4?q=2"})},
    });
}

// A player set up in a script, or an AMP element, is given its media whatever the address
// looks like, as <video> is; its tracks, pictures and logo are not media.
TEST(PageReading, PlayersSetUpInScriptsAndAmpElements) {
    ExpectRows({
        {"setup() with a file without an extension", "text/html",
         R"(<script>jwplayer("p").setup({file: "https://cdn.example.test/manifests/abc", image: "/i/abc.jpg",)"
         R"( tracks: [{file: "/subs/abc.vtt", kind: "captions"}, {file: "/thumbs/abc", kind: "thumbnails"}],)"
         R"( logo: {file: "/logo"}});</script>)",
         Lines({"{C}/manifests/abc"})},
        {"setup() with a playlist file with an extension", "text/html",
         R"(<script>jwplayer("p").setup({"playlist": [{"file": "clips/abc.mp4", "image": "clips/abc.jpg"}]});</script>)",
         Lines({"{O}/p/clips/abc.mp4"})},
        {"sources with and without an extension", "text/html",
         R"(<script>jwplayer("p").setup({playlist: [{sources: [{file: "/hls/abc", type: "hls"},)"
         R"( {file: "/v/abc-720.mp4", label: "720p"}, "/v/abc-480"]}]});)"
         R"( videojs("v", {sources: [{src: "https://cdn.example.test/live/abc", type: "application/x-mpegURL"}]});</script>)",
         Lines({"{O}/hls/abc", "{O}/v/abc-720.mp4", "{O}/v/abc-480", "{C}/live/abc"})},
        {"data and a pieced address, not a player's media",
         "text/html",
         R"(<script>var state = {"file": "/docs/readme", "user": {"avatar": {"file": "/u/1"}}, "sources": ["Reuters"]};)"
         R"( jwplayer("p").setup({file: "/stream/" + id});</script>)",
         {}},
        {"AMP video and audio", "text/html",
         R"(<amp-video width="640" height="360" poster="/i/abc.jpg"><source src="https://cdn.example.test/amp/abc")"
         R"( type="video/mp4"><source src="/amp/abc.webm" type="video/webm"><track src="/subs/abc.vtt"></amp-video>)"
         R"(<amp-audio src="/amp/podcast?id=3"></amp-audio>)",
         Lines({"{C}/amp/abc", "{O}/amp/abc.webm", "{O}/amp/podcast?id=3"})},
    });
}

TEST(PageReading, TypedAddressesAndFetches) {
    FixtureSite site;
    // Without a scheme; a media address by its extension is not fetched at all.
    EXPECT_EQ(MediaAddresses("127.0.0.1:8000/stream/42", site), Lines({"{O}/stream/42"}));
    EXPECT_EQ(MediaAddresses("127.0.0.1:8000/media/x.mp4", site), Lines({"{O}/media/x.mp4"}));
    EXPECT_EQ(site.asked, Lines({"{O}/stream/42"}));
    std::string why;
    EXPECT_TRUE(MediaAddresses("ftp://127.0.0.1/x.html", site, &why).empty());
    EXPECT_FALSE(why.empty());
}

TEST(PageReading, IframesOfTheSameSiteAtMostFourOneLevelDeep) {
    FixtureSite site;
    std::string page;
    for (int i = 1; i <= 6; ++i)
        page += "<iframe src=\"/frames/" + std::to_string(i) + ".html\"></iframe>";
    page += "<iframe src=\"/clip.mp4\"></iframe><video src=\"/after.mp4\"></video>";
    site.extra["/outer.html"] = page;
    for (int i = 1; i <= 6; ++i) {
        site.extra["/frames/" + std::to_string(i) + ".html"] =
            "<video src=\"/in" + std::to_string(i) + ".mp4\"></video><iframe src=\"/deeper.html\"></iframe>";
    }
    site.extra["/deeper.html"] = "<video src=\"/deep.mp4\"></video>";
    EXPECT_EQ(MediaAddresses(std::string(kOrigin) + "/outer.html", site),
              Lines({"{O}/in1.mp4", "{O}/in2.mp4", "{O}/in3.mp4", "{O}/in4.mp4", "{O}/clip.mp4", "{O}/after.mp4"}));
    EXPECT_EQ(site.asked.size(), 5u);  // the page and four frames; the media frame is no page

    // Once the time for iframes is over, none is followed.
    site.asked.clear();
    FetchedPage outer{std::string(kOrigin) + "/outer.html", "text/html", "", page};
    const Clock::time_point now = Clock::now();
    EXPECT_EQ(PageMediaAddresses(outer, site, 0, now - std::chrono::seconds(1), now + kFetchTime),
              Lines({"{O}/clip.mp4", "{O}/after.mp4"}));
    EXPECT_TRUE(site.asked.empty());
}

TEST(PageReading, AtMostAThousandRowsEachOnce) {
    FixtureSite site;
    std::string page;
    for (int i = 0; i < 1500; ++i) {
        page += "<a href=\"/v/" + std::to_string(i) + ".mp4\"></a><a href=\"/v/" + std::to_string(i) + ".mp4\"></a>";
    }
    site.extra["/many.html"] = page;
    const std::vector<std::string> found = MediaAddresses(std::string(kOrigin) + "/many.html", site);
    ASSERT_EQ(found.size(), kMaxAddresses);
    EXPECT_EQ(found.front(), std::string(kOrigin) + "/v/0.mp4");
    EXPECT_EQ(found.back(), std::string(kOrigin) + "/v/999.mp4");
}

}  // namespace
}  // namespace ql::service
