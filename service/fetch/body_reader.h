// The body of one fetched page as the page reading gets it: inflated when the server sent it
// gzip- or deflate-encoded, and never more than kMaxBody bytes, however much the bytes on the
// wire would inflate to (a "gzip bomb" costs only its first kMaxBody bytes).
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace ql::service {

class BodyReader {
public:
    // `contentEncoding`: the header's value ("gzip", "x-gzip", "deflate", anything else: none).
    BodyReader(std::string_view contentEncoding, std::size_t limit);
    ~BodyReader();
    BodyReader(const BodyReader&) = delete;
    BodyReader& operator=(const BodyReader&) = delete;

    // Takes the next bytes from the wire. False once no more are wanted: the limit is reached
    // or the encoded stream ended or broke (what was inflated until then is kept).
    bool Add(std::string_view bytes);
    const std::string& body() const { return body_; }

private:
    struct Inflater;
    std::unique_ptr<Inflater> inflater_;
    bool encoded_;
    bool done_ = false;
    std::size_t limit_;
    std::string body_;
};

struct ContentType {
    std::string type;     // lower case, without parameters
    std::string charset;  // the charset parameter, unquoted, or empty
};
ContentType SplitContentType(std::string_view header);

}  // namespace ql::service
