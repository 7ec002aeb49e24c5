// The fixture site of the service's tests (tests/service/pages/) as a PageFetcher that serves
// its files without a network: the same pages, headers and encodings as fixture_server.py,
// under http://127.0.0.1:8000 and (as another site) http://localhost:8000. What it was asked
// for is recorded.
#pragma once

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "service/page_fetch.h"
#include "service/reading/page_address.h"
#include "text/codepage.h"

namespace ql::service::testing {

constexpr const char* kOrigin = "http://127.0.0.1:8000";
constexpr const char* kOther = "http://localhost:8000";

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// `piece` repeated until the text holds at least `bytes` bytes.
inline std::string Repeat(const std::string& piece, std::size_t bytes) {
    std::string out;
    out.reserve(bytes + piece.size());
    while (out.size() < bytes)
        out += piece;
    return out;
}

inline std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

class FixtureSite : public PageFetcher {
public:
    std::optional<FetchedPage> Fetch(const std::string& url, Clock::time_point, std::string* why) override {
        asked.push_back(url);
        std::string path;
        for (const char* origin : {kOrigin, kOther}) {
            if (url.compare(0, std::string(origin).size(), origin) == 0) path = url.substr(std::string(origin).size());
        }
        const std::string origin = url.substr(0, url.size() - path.size());
        // /redirect/N/PATH: where the redirects end.
        while (path.compare(0, 10, "/redirect/") == 0) {
            const std::size_t slash = path.find('/', 10);
            if (slash == std::string::npos || std::stoi(path.substr(10)) > kMaxRedirects) return Refuse(why);
            path = path.substr(slash);
        }
        const std::string file = path.substr(0, path.find('?'));
        FetchedPage page;
        page.url = origin + path;
        if (file == "/stream/42") {
            page.contentType = "video/mp4";
        } else if (file == "/live/7") {
            page.contentType = "application/vnd.apple.mpegurl";
        } else if (file.compare(0, 7, "/media/") == 0 && HasMediaExtension(file)) {
            page.contentType = "video/mp4";
        } else if (extra.count(file)) {
            page.contentType = "text/html";
            page.body = extra[file];
        } else if (file.compare(0, 7, "/pages/") == 0 && !Page(file.substr(7), &page)) {
            return Refuse(why);
        } else if (file.compare(0, 7, "/pages/") != 0) {
            return Refuse(why);
        }
        return page;
    }

    std::vector<std::string> asked;
    // More pages by path, served as text/html.
    std::map<std::string, std::string> extra;

private:
    static std::optional<FetchedPage> Refuse(std::string* why) {
        if (why) *why = "not on the fixture site";
        return std::nullopt;
    }

    static bool Page(const std::string& name, FetchedPage* page) {
        // name → (Content-Type, charset header, GBK body, file made from, line put in <head>)
        struct Made {
            const char* name;
            const char* charset;
            bool gbk;
            const char* from;
            const char* headLine;
        };
        static const Made kMade[] = {
            {"gbk-meta.html", "", true, "chinese-clip.html", "<meta charset=\"gbk\">"},
            {"gbk-http-equiv.html", "", true, "chinese-clip.html",
             "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"},
            {"gbk-header.html", "GBK", true, "chinese-clip.html", nullptr},
            {"gbk-unlabelled.html", "", true, "chinese-clip.html", nullptr},
            {"utf8-unlabelled.html", "", false, "chinese-clip.html", nullptr},
        };
        Made made{name.c_str(), "utf-8", false, name.c_str(), nullptr};
        for (const Made& m : kMade) {
            if (name == m.name) made = m;
        }
        std::string text = ReadFile(std::string(QL_SOURCE_DIR) + "/tests/service/pages/" + made.from);
        if (text.empty()) return false;
        if (made.headLine) text = ReplaceAll(text, "<head>\n", std::string("<head>\n") + made.headLine + "\n");
        text = ReplaceAll(ReplaceAll(text, "{{ORIGIN}}", kOrigin), "{{OTHER}}", kOther);
        page->contentType = "text/html";
        page->charset = made.charset;
        page->body = made.gbk ? Utf8ToCodePage(text, kCodePageGbk) : text;
        return true;
    }
};

}  // namespace ql::service::testing
