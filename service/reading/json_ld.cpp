#include "service/reading/json_ld.h"

#include <unordered_set>

#include <nlohmann/json.hpp>

namespace ql::service {

namespace {

using Json = nlohmann::ordered_json;

// The block with raw control characters inside strings written as \u00XX, as the lenient
// readers of pages accept them, in `out` (left empty when there are none, the block being
// fine as it is); false when it nests deeper than kMaxJsonDepth.
bool Prepared(std::string_view block, std::string* out) {
    static constexpr char kHex[] = "0123456789abcdef";
    bool inString = false, copying = false;
    std::size_t depth = 0;
    for (std::size_t i = 0; i < block.size(); ++i) {
        const char c = block[i];
        if (inString) {
            if (c == '\\' && i + 1 < block.size()) {
                if (copying) out->append(block.substr(i, 2));
                ++i;
                continue;
            }
            if (c == '"') inString = false;
            if (static_cast<unsigned char>(c) < 0x20) {
                if (!copying) out->assign(block.substr(0, i));
                copying = true;
                out->append("\\u00");
                out->push_back(kHex[(c >> 4) & 15]);
                out->push_back(kHex[c & 15]);
                continue;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxJsonDepth) return false;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
        if (copying) out->push_back(c);
    }
    return true;
}

// The last part of a type name ("http://schema.org/VideoObject", "schema:VideoObject").
bool IsMediaTypeName(std::string_view type) {
    const std::size_t slash = type.rfind('/');
    if (slash != std::string_view::npos) type.remove_prefix(slash + 1);
    const std::size_t colon = type.rfind(':');
    if (colon != std::string_view::npos) type.remove_prefix(colon + 1);
    return type == "VideoObject" || type == "AudioObject";
}

// Reads the block as a stream of events, keeping only contentUrl strings: no tree of the
// block is built, so a large block costs no more than its own size. An object's media come
// out as its contentUrl values (when it is a VideoObject or AudioObject), then those of the
// objects inside it, in the block's order.
class MediaEvents : public nlohmann::json_sax<Json> {
public:
    std::vector<std::string> found;

    bool null() override { return Scalar(); }
    bool boolean(bool) override { return Scalar(); }
    bool number_integer(number_integer_t) override { return Scalar(); }
    bool number_unsigned(number_unsigned_t) override { return Scalar(); }
    bool number_float(number_float_t, const string_t&) override { return Scalar(); }
    bool binary(binary_t&) override { return Scalar(); }

    bool string(string_t& value) override {
        if (frames_.empty()) return true;
        Frame& top = frames_.back();
        if (top.object) {
            if (top.key == "@type") top.media = IsMediaTypeName(value);
            if (top.key == "contentUrl") top.urls = {value};
        } else if (top.role == Role::kTypes) {
            top.media = top.media || IsMediaTypeName(value);
        } else if (top.role == Role::kUrls) {
            top.urls.push_back(value);
        }
        return true;
    }

    bool start_object(std::size_t) override { return Push(true); }
    bool key(string_t& name) override {
        frames_.back().key = name;
        return true;
    }
    bool end_object() override { return Pop(); }
    bool start_array(std::size_t) override { return Push(false); }
    bool end_array() override { return Pop(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    enum class Role { kNone, kTypes, kUrls };
    struct Frame {
        bool object;
        Role role = Role::kNone;
        bool media = false;
        std::string key;
        std::vector<std::string> urls;
        std::vector<std::string> children;
        std::unordered_set<std::string> seen;
    };

    bool Scalar() {
        if (!frames_.empty() && frames_.back().object) {
            Frame& top = frames_.back();
            if (top.key == "@type") top.media = false;
            if (top.key == "contentUrl") top.urls.clear();
        }
        return true;
    }

    bool Push(bool object) {
        if (frames_.size() >= kMaxJsonDepth) return false;
        Role role = Role::kNone;
        if (!object && !frames_.empty() && frames_.back().object) {
            const std::string& key = frames_.back().key;
            role = key == "@type" ? Role::kTypes : key == "contentUrl" ? Role::kUrls : Role::kNone;
            // A value of another kind replaces what the key said before.
            if (role == Role::kTypes) frames_.back().media = false;
            if (role == Role::kUrls) frames_.back().urls.clear();
        } else if (object && !frames_.empty() && frames_.back().object) {
            const std::string& key = frames_.back().key;
            if (key == "@type") frames_.back().media = false;
            if (key == "contentUrl") frames_.back().urls.clear();
        }
        frames_.push_back(Frame{object, role});
        return true;
    }

    bool Pop() {
        Frame done = std::move(frames_.back());
        frames_.pop_back();
        std::vector<std::string> out;
        if (done.object && done.media) out = std::move(done.urls);
        for (std::string& child : done.children)
            out.push_back(std::move(child));
        // Each address once per level: the first place of an address is all that counts.
        std::vector<std::string>& into = frames_.empty() ? found : frames_.back().children;
        std::unordered_set<std::string>& seen = frames_.empty() ? foundSeen_ : frames_.back().seen;
        for (std::string& url : out) {
            if (seen.insert(url).second) into.push_back(std::move(url));
        }
        if (!done.object && !frames_.empty()) {
            if (done.role == Role::kTypes) frames_.back().media = done.media;
            if (done.role == Role::kUrls) frames_.back().urls = std::move(done.urls);
        }
        return true;
    }

    std::vector<Frame> frames_;
    std::unordered_set<std::string> foundSeen_;
};

}  // namespace

std::vector<std::string> JsonLdMedia(std::string_view block) {
    if (block.size() > kMaxJsonBytes) return {};
    std::string text;
    if (!Prepared(block, &text)) return {};
    MediaEvents events;
    if (!Json::sax_parse(text.empty() ? block : std::string_view(text), &events)) return {};
    return std::move(events.found);
}

}  // namespace ql::service
