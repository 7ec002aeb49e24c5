// A fetched body is inflated and cut at the limit: a gzip bomb must cost only the limit, a
// broken stream keep what came before the break, and chunk boundaries change nothing.
#include "service/fetch/body_reader.h"
#include "service/reading/page_address.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace ql::service {
namespace {

// `windowBits`: 15 + 16 gzip, 15 zlib, -15 raw deflate.
std::string Compress(const std::string& text, int windowBits) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&z, text.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TEST(BodyReader, InflatesWithinTheLimit) {
    constexpr std::size_t kLimit = 1 << 20;
    const std::string page = "<video src=\"a.mp4\"></video>" + std::string(5000, 'x');
    const std::string zeros(16 << 20, '\0');  // inflates from about 16 KiB
    const std::string gz = Compress(page, 31);
    const struct {
        const char* name;
        const char* encoding;
        std::string wire;
        std::size_t chunk;
        std::string body;
    } rows[] = {
        {"plain", "", page, 1000, page},
        {"plain past the limit", "identity", std::string(kLimit + 10, 'a'), 300000, std::string(kLimit, 'a')},
        {"gzip", "gzip", gz, 7, page},
        {"x-gzip in capitals", " X-GZIP ", gz, 1 << 16, page},
        {"zlib-wrapped deflate", "deflate", Compress(page, 15), 3, page},
        {"raw deflate", "deflate", Compress(page, -15), 1 << 16, page},
        {"gzip bomb", "gzip", Compress(zeros, 31), 1 << 14, std::string(kLimit, '\0')},
        {"broken after its start", "gzip", gz.substr(0, 20) + std::string(50, '\xff'), 1 << 16, ""},
        {"unknown coding taken as it is", "br", "abc", 1, "abc"},
    };
    for (const auto& row : rows) {
        BodyReader reader(row.encoding, kLimit);
        std::string_view wire = row.wire;
        while (!wire.empty() && reader.Add(wire.substr(0, row.chunk))) {
            wire.remove_prefix(std::min(row.chunk, wire.size()));
        }
        if (row.body.empty()) {
            EXPECT_LT(reader.body().size(), page.size()) << row.name;
            EXPECT_EQ(reader.body(), page.substr(0, reader.body().size())) << row.name;
        } else {
            EXPECT_EQ(reader.body().size(), row.body.size()) << row.name;
            EXPECT_TRUE(reader.body() == row.body) << row.name;
        }
    }
}

TEST(BodyReader, ContentTypes) {
    const struct {
        const char* header;
        const char* type;
        const char* charset;
        bool media;
    } rows[] = {
        {"text/html; charset=GBK", "text/html", "GBK", false},
        {" Text/HTML ;Charset=\"utf-8\" ; q=1", "text/html", "utf-8", false},
        {"video/MP4", "video/mp4", "", true},
        {"audio/x-mpegurl", "audio/x-mpegurl", "", true},
        {"application/vnd.apple.mpegurl", "application/vnd.apple.mpegurl", "", true},
        {"application/dash+xml;charset=utf-8", "application/dash+xml", "utf-8", true},
        {"application/octet-stream", "application/octet-stream", "", false},
        {"", "", "", false},
    };
    for (const auto& row : rows) {
        const ContentType type = SplitContentType(row.header);
        EXPECT_EQ(type.type, row.type) << row.header;
        EXPECT_EQ(type.charset, row.charset) << row.header;
        EXPECT_EQ(IsMediaType(type.type), row.media) << row.header;
    }
}

}  // namespace
}  // namespace ql::service
