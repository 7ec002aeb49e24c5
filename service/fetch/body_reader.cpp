#include "service/fetch/body_reader.h"

#include <zlib.h>

namespace ql::service {

namespace {

std::string LowerTrimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace

struct BodyReader::Inflater {
    z_stream stream{};
    bool started = false;
    bool gzip = false;
    ~Inflater() {
        if (started) inflateEnd(&stream);
    }
};

BodyReader::BodyReader(std::string_view contentEncoding, std::size_t limit) : limit_(limit) {
    const std::string coding = LowerTrimmed(contentEncoding);
    encoded_ = coding == "gzip" || coding == "x-gzip" || coding == "deflate";
    if (encoded_) {
        inflater_ = std::make_unique<Inflater>();
        inflater_->gzip = coding != "deflate";
    }
}

BodyReader::~BodyReader() = default;

bool BodyReader::Add(std::string_view bytes) {
    if (done_) return false;
    if (!encoded_) {
        body_.append(bytes.substr(0, limit_ - body_.size()));
        done_ = body_.size() >= limit_;
        return !done_;
    }
    Inflater& z = *inflater_;
    if (!z.started) {
        if (bytes.empty()) return true;
        // "deflate" is meant to be zlib-wrapped; some servers send the raw stream.
        int windowBits = 15 + 16;
        if (!z.gzip) {
            const auto b0 = static_cast<unsigned char>(bytes[0]);
            const auto b1 = bytes.size() > 1 ? static_cast<unsigned char>(bytes[1]) : 0u;
            const bool zlibHeader = bytes.size() >= 2 && (b0 & 0x0F) == 8 && ((b0 << 8) | b1) % 31 == 0;
            windowBits = zlibHeader ? 15 : -15;
        }
        if (inflateInit2(&z.stream, windowBits) != Z_OK) {
            done_ = true;
            return false;
        }
        z.started = true;
    }
    z.stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.stream.avail_in = static_cast<uInt>(bytes.size());
    char out[65536];
    while (z.stream.avail_in > 0 && body_.size() < limit_) {
        const std::size_t room = limit_ - body_.size();
        z.stream.next_out = reinterpret_cast<Bytef*>(out);
        z.stream.avail_out = static_cast<uInt>(room < sizeof out ? room : sizeof out);
        const uInt before = z.stream.avail_out;
        const int status = inflate(&z.stream, Z_NO_FLUSH);
        body_.append(out, before - z.stream.avail_out);
        if (status == Z_STREAM_END || (status != Z_OK && status != Z_BUF_ERROR)) {
            done_ = true;
            return false;
        }
        if (status == Z_BUF_ERROR && before == z.stream.avail_out) break;
    }
    done_ = body_.size() >= limit_;
    return !done_;
}

ContentType SplitContentType(std::string_view header) {
    ContentType out;
    const std::size_t semicolon = header.find(';');
    out.type = LowerTrimmed(header.substr(0, semicolon));
    std::string_view rest = semicolon == std::string_view::npos ? std::string_view() : header.substr(semicolon + 1);
    while (!rest.empty()) {
        const std::size_t next = rest.find(';');
        const std::string_view parameter = rest.substr(0, next);
        const std::size_t eq = parameter.find('=');
        if (eq != std::string_view::npos && LowerTrimmed(parameter.substr(0, eq)) == "charset") {
            std::string_view value = parameter.substr(eq + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '"' || value.front() == '\'')) {
                value.remove_prefix(1);
            }
            while (!value.empty() && (value.back() == ' ' || value.back() == '"' || value.back() == '\'')) {
                value.remove_suffix(1);
            }
            out.charset = std::string(value);
        }
        if (next == std::string_view::npos) break;
        rest.remove_prefix(next + 1);
    }
    return out;
}

}  // namespace ql::service
