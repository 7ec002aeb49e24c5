#include "service/server/parse_reply.h"

#include <thread>
#include <utility>

#include "service/reading/ascii.h"

#include "service/reading/page_address.h"
#include "service/reading/page_media.h"
#include "service/site/site_pages.h"
#include "text/gbk_markers.h"

namespace ql::service {

namespace {

constexpr const char* kReplyTitle = QL_GBK_MARKER("视频地址解析", "\xCA\xD3\xC6\xB5\xB5\xD8\xD6\xB7\xBD\xE2\xCE\xF6");
constexpr const char* kSubmitCaption = QL_GBK_MARKER("下载列表", "\xCF\xC2\xD4\xD8\xC1\xD0\xB1\xED");

}  // namespace

std::string ReplyPage(const std::vector<std::string>& lines) {
    std::string page = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\"><title>";
    page += kReplyTitle;
    page += "</title></head><body>\r\n";
    page += ReplyStartMarker;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) page += "\r\n";
        page += lines[i];
    }
    page += ReplyEndMarker;
    page += "\n<input type=\"submit\" value=\"";
    page += kSubmitCaption;
    page += "\"/>\r\n</form></body></html>\r\n";
    return page;
}

std::string KwValue(std::string_view rawQuery) {
    while (true) {
        const std::size_t amp = rawQuery.find('&');
        const std::string_view pair = rawQuery.substr(0, amp);
        const std::size_t eq = pair.find('=');
        if (pair.substr(0, eq) == "kw") {
            const std::string_view value = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
            std::string bytes;
            bytes.reserve(value.size());
            for (std::size_t i = 0; i < value.size(); ++i) {
                const int high = value[i] == '%' && i + 2 < value.size() ? HexValue(value[i + 1]) : -1;
                const int low = high >= 0 ? HexValue(value[i + 2]) : -1;
                if (low >= 0) {
                    bytes.push_back(static_cast<char>(high * 16 + low));
                    i += 2;
                } else {
                    bytes.push_back(value[i]);
                }
            }
            return bytes;
        }
        if (amp == std::string_view::npos) return std::string();
        rawQuery.remove_prefix(amp + 1);
    }
}

std::string SampleVideoId(std::string_view a) {
    // An optional scheme: a letter, then letters, digits, "+", "." or "-", then "://".
    if (!a.empty() && IsAlpha(a[0])) {
        std::size_t i = 1;
        while (i < a.size() && (IsAlpha(a[i]) || IsDigit(a[i]) || a[i] == '+' || a[i] == '.' || a[i] == '-')) {
            ++i;
        }
        if (a.substr(i, 3) == "://") a.remove_prefix(i + 3);
    }
    if (!StartsWithIgnoringCase(a, "v.example.test")) return std::string();
    a.remove_prefix(14);
    if (!a.empty() && a[0] == ':') {
        std::size_t i = 1;
        while (i < a.size() && IsDigit(a[i]))
            ++i;
        if (i == 1) return std::string();
        a.remove_prefix(i);
    }
    if (a.substr(0, 11) != "/v_show/id_") return std::string();
    a.remove_prefix(11);
    std::size_t n = 0;
    while (n < a.size() && (IsAlpha(a[n]) || IsDigit(a[n]) || a[n] == '_' || a[n] == '=' || a[n] == '-')) {
        ++n;
    }
    if (n == 0 || a.substr(n, 5) != ".html") return std::string();
    const std::string_view rest = a.substr(n + 5);
    // What follows is a query or a fragment, or nothing (a final line feed counts as nothing).
    if (!rest.empty() && rest != "\n" && rest[0] != '?' && rest[0] != '#') return std::string();
    return std::string(a.substr(0, n));
}

bool ReplyNeedsFetch(std::string_view rawQuery) {
    const std::string kw = KwValue(rawQuery);
    if (!SampleVideoId(kw).empty()) return false;
    const std::optional<std::string> url = TypedAddress(kw);
    return url && !HasMediaExtension(*url);
}

std::string ParseReply(std::string_view rawQuery, std::string_view base, PageFetcher& fetcher, std::string* why,
                       SiteExtractor* extractor) {
    const std::string kw = KwValue(rawQuery);
    const std::string id = SampleVideoId(kw);
    std::vector<std::string> lines;
    if (!id.empty()) {
        // Ids hold only letters, digits, "_", "-" and "=", which stand in a path as they are.
        for (int part = 1; part <= kSampleParts; ++part) {
            lines.push_back(std::string(base) + "/media/" + id + "/part" + std::to_string(part) + ".mp4");
        }
        return ReplyPage(lines);
    }
    // The extractor runs beside the reading, on a thread of its own, so that asking it costs
    // the answer no more than the longer of the two.
    std::vector<std::string> extracted;
    std::string extractorWhy;
    std::thread extraction;
    if (extractor && ReplyNeedsFetch(rawQuery)) {
        extraction = std::thread([&, url = *TypedAddress(kw)]() noexcept {
            try {
                extracted = extractor->Extract(url, &extractorWhy);
            } catch (...) {
                extractorWhy = "the extractor ran out of memory";
            }
        });
    }
    lines = MediaAddresses(kw, fetcher, why);
    if (extraction.joinable()) {
        extraction.join();
        if (!extracted.empty()) {
            lines = std::move(extracted);
            if (why) why->clear();
        } else if (why && lines.empty() && !extractorWhy.empty()) {
            *why += (why->empty() ? "" : "; ") + extractorWhy;
        }
    }
    if (lines.empty()) lines.emplace_back(RefusalLine);
    return ReplyPage(lines);
}

}  // namespace ql::service
