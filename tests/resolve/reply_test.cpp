#include "resolve/reply.h"
#include "service/server/parse_reply.h"

#include <gtest/gtest.h>

#include <string>

namespace ql {
namespace {

const std::string kStart = ReplyStartMarker;
const std::string kEnd = ReplyEndMarker;

std::string Page(const std::string& value) {
    return "<html><body>\r\n" + kStart + value + kEnd + "\n</form></body></html>";
}

TEST(CutBetween, Table) {
    struct Case {
        Text text, start, end;
        const char* want;
    } cases[] = {
        {"xx[abc]yy", "[", "]", "abc"},
        {"]x[y", "[", "]", ""},  // the only end marker lies before the start marker
        {"[a][b]", "[", "]", "a"},
        {"no markers", "[", "]", ""},
        {"", "[", "]", ""},
        {Text(nullptr), "[", "]", ""},
        {"x[]y", "[", "]", ""},
        {"<A>v</a>", "<a>", "</a>", ""},  // bytes match exactly, case included
        {"<a>v</a>", "<a>", "</a>", "v"},
        {"|x|y|", "|", "|", "x"},  // the same marker on both sides
        {"a[b", "[", "]", ""},     // start without end
        {"[", "[", "]", ""},
        {"前[青岚]后", "[", "]", "青岚"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CutBetween(c.text, c.start, c.end).str(), c.want)
            << "text '" << c.text.str() << "' start '" << c.start.str() << "' end '" << c.end.str() << "'";
    }
}

TEST(CutBetween, ReadsTheHiddenFieldOfTheReply) {
    struct Case {
        std::string page;
        const char* want;
    } cases[] = {
        {Page("http://m/1.mp4\r\nhttp://m/2.mp4"), "http://m/1.mp4\r\nhttp://m/2.mp4"},
        {Page(""), ""},
        // The closing quote must be followed by CR: "/> with LF only does not end the value.
        {kStart + "u1\"/>\nu2\"/>\r\n", "u1\"/>\nu2"},
        {kStart + "u1\"/>\n", ""},
        // The start marker's CR LF is part of it: a page with LF only lacks the marker.
        {"<form action=\"get_m3u.php\" method=\"post\" name=\"m3uForm\">\n"
         "<input type=\"hidden\" name=\"inf\" value=\"u1\"/>\r",
         ""},
        {"<html>nothing to see</html>", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CutBetween(c.page, ReplyStartMarker, ReplyEndMarker).str(), c.want) << c.page;
    }
}

TEST(ReadResultRows, Table) {
    using Rows = std::vector<std::string>;
    struct Case {
        Text value;
        Rows rows;
        bool refused;
    } cases[] = {
        {"u1\r\nu2", {"u1", "u2"}, false},
        {"u1\r\n**/\r\nu2", {"u1"}, true},
        {"**/", {}, true},
        {"**/\r\n", {}, true},
        {"a**/b\r\n **/\r\n**/ \r\n**", {"a**/b", " **/", "**/ ", "**"}, false},
        {"", {}, false},
        {"u1", {"u1"}, false},
        {"u1\r\n", {"u1"}, false},                  // a line end after the last line adds no row
        {"u1\r\n\r\nu2", {"u1", "", "u2"}, false},  // an empty line between two stays a row
        {"\r\n", {""}, false},
        {"u1\nu2\ru3", {"u1\nu2\ru3"}, false},  // only CR LF separates
        {"u1\r\r\nu2", {"u1\r", "u2"}, false},
        {"视频1\r\n视频2", {"视频1", "视频2"}, false},
    };
    for (const Case& c : cases) {
        const ResultRows got = ReadResultRows(c.value);
        Rows rows;
        for (const Text& r : got.rows) {
            rows.push_back(r.str());
        }
        EXPECT_EQ(rows, c.rows) << "value '" << c.value.str() << "'";
        EXPECT_EQ(got.refused, c.refused) << "value '" << c.value.str() << "'";
    }
}

// What the service writes, the program reads back row for row: one format, both sides.
TEST(ReadResultRows, TheServicesRepliesReadBackRowForRow) {
    using Rows = std::vector<std::string>;
    const Rows replies[] = {
        {"http://127.0.0.1:47615/media/a/part1.mp4"},
        {"http://a.test/1.mp4", "https://b.test/2.m3u8?x=1&y=%22%3E", "http://xn--fiq.test/%E8%A7%86.flv"},
        {RefusalLine},
    };
    for (const Rows& lines : replies) {
        const ResultRows got =
            ReadResultRows(CutBetween(Text(service::ReplyPage(lines)), ReplyStartMarker, ReplyEndMarker));
        Rows rows;
        for (const Text& r : got.rows) {
            rows.push_back(r.str());
        }
        const bool refusal = lines == Rows{RefusalLine};
        EXPECT_EQ(rows, refusal ? Rows{} : lines) << lines[0];
        EXPECT_EQ(got.refused, refusal) << lines[0];
    }
}

TEST(BuildParseQuery, SendsExactlyTheTypedBytes) {
    const Text prefix = "http://127.0.0.1:47615/parse.php?kw=";
    struct Case {
        Text typed;
        const char* want;  // what follows "kw="
    } cases[] = {
        {"", ""},
        {"http://v.example.test/v_show/id_XMTIz.html", "http://v.example.test/v_show/id_XMTIz.html"},
        {"http://h/p?a=1;b=2,c!*()@$'~-._", "http://h/p?a=1;b=2,c!*()@$'~-._"},
        {"http://h/p#top", "http://h/p%23top"},
        {"http://h/p?a=1&b=2", "http://h/p?a=1%26b=2"},
        {"a b+c%d", "a%20b%2Bc%25d"},
        {"\"<>\\^`{|}[]", "%22%3C%3E%5C%5E%60%7B%7C%7D%5B%5D"},
        {"\t\r\n\x7f", "%09%0D%0A%7F"},
        {"http://h/视频", "http://h/%CA%D3%C6%B5"},  // GBK bytes of 视频
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BuildParseQuery(prefix, c.typed).str(), prefix.str() + c.want) << "typed '" << c.typed.str() << "'";
    }
}

TEST(IsWebAddress, OnlyHttpAndHttpsRowsOpen) {
    struct Case {
        Text row;
        bool opens;
    } cases[] = {
        {"http://m.test/a.mp4", true},
        {"HTTPS://a/b", true},
        {"hTtP://a", true},
        {"C:\\x.exe", false},
        {"\\\\host\\share\\x.exe", false},
        {"file:///c:/x", false},
        {"ftp://a/b", false},
        {" http://a/", false},
        {"http:/a", false},
        {"https:", false},
        {"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsWebAddress(c.row), c.opens) << c.row.str();
    }
}

}  // namespace
}  // namespace ql
