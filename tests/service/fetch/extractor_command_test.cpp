// The rows read from the site extractor's output: only its addresses, each as plain ASCII as
// the page reading writes them, so that no row can end the reply's field early or smuggle a
// line of its own.
#include "service/fetch/extractor_command.h"

#include <gtest/gtest.h>

namespace ql::service {
namespace {

TEST(ExtractorRows, TakesEachAddressLineOnceAsAnAsciiRow) {
    std::string many;
    for (int i = 0; i < 2000; ++i)
        many += "https://cdn.example.net/" + std::to_string(i) + ".mp4\n";
    const struct {
        const char* what;
        std::string output;
        std::vector<std::string> rows;
    } rows[] = {
        {"empty output", "", {}},
        {"no address lines",
         "[generic] Extracting URL\nERROR: no\nftp://h/a.mp4\n/rel/a.mp4\nhttpx://h/a\nhttp:/h/a\n",
         {}},
        {"CR LF, a lone CR and no end at the last",
         "http://a.example.net/1.mp4\r\nhttp://a.example.net/2.mp4\rhttp://a.example.net/3.mp4",
         {"http://a.example.net/1.mp4", "http://a.example.net/2.mp4", "http://a.example.net/3.mp4"}},
        {"a CR inside a row ends it", "http://a.example.net/v.mp4\r\"><script>\n", {"http://a.example.net/v.mp4"}},
        {"blanks around and inside", " \t HTTPS://A.example.net/a b.mp4 \t\n", {"https://A.example.net/a%20b.mp4"}},
        {"quotes and angle brackets",
         "http://a.example.net/\"x\"<y>'.mp4?q=\"/>\n",
         {"http://a.example.net/%22x%22%3Cy%3E'.mp4?q=%22/%3E"}},
        {"non-ASCII host and path (UTF-8)",
         "https://\xE4\xBE\x8B\xE5\xAD\x90.\xE6\xB5\x8B\xE8\xAF\x95/\xE8\xA7\x86\xE9\xA2\x91.mp4\n",
         {"https://xn--fsqu00a.xn--0zwm56d/%E8%A7%86%E9%A2%91.mp4"}},
        {"a host that has no IDNA form is refused",
         "http://a\xff.example.net/v.mp4\nhttp://b.example.net/\n",
         {"http://b.example.net/"}},
        {"no host", "http:///v.mp4\nhttps://\n", {}},
        {"duplicates, the first kept",
         "http://a.example.net/1.mp4\nhttp://a.example.net/2.mp4\nhttp://a.example.net/1.mp4\n",
         {"http://a.example.net/1.mp4", "http://a.example.net/2.mp4"}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ExtractorRows(row.output), row.rows) << row.what;
    }
    const std::vector<std::string> first = ExtractorRows(many);
    ASSERT_EQ(first.size(), kMaxExtractorRows);
    EXPECT_EQ(first.back(), "https://cdn.example.net/" + std::to_string(kMaxExtractorRows - 1) + ".mp4");
}

TEST(WindowsCommandLine, RefusesWhatNoLineCanCarry) {
    const struct {
        const char* what;
        std::wstring program;
        std::wstring argument;
    } rows[] = {
        {"a quote in the program's name", L"C:\\a\"b.exe", L"x"},
        {"no program", L"", L"x"},
        {"a NUL in an argument, which would end the line", L"C:\\yt-dlp.exe", std::wstring(L"a\0b", 3)},
        {"a line longer than CreateProcessW takes", L"C:\\yt-dlp.exe", std::wstring(32767, L'a')},
    };
    for (const auto& row : rows) {
        EXPECT_FALSE(WindowsCommandLine(row.program, {L"--", row.argument})) << row.what;
    }
}

}  // namespace
}  // namespace ql::service
