#include "service/json_ld.h"

#include <nlohmann/json.hpp>

namespace ql::service {

namespace {

using Json = nlohmann::ordered_json;

// The block with raw control characters inside strings written as \u00XX, as the lenient
// readers of pages accept them; nothing when it nests deeper than kMaxJsonDepth.
bool Prepared(std::string_view block, std::string* out) {
    static constexpr char kHex[] = "0123456789abcdef";
    out->reserve(block.size());
    bool inString = false;
    std::size_t depth = 0;
    for (std::size_t i = 0; i < block.size(); ++i) {
        const char c = block[i];
        if (inString) {
            if (c == '\\' && i + 1 < block.size()) {
                out->push_back(c);
                out->push_back(block[++i]);
                continue;
            }
            if (c == '"') inString = false;
            if (static_cast<unsigned char>(c) < 0x20) {
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
        out->push_back(c);
    }
    return true;
}

// The last part of a type name ("http://schema.org/VideoObject", "schema:VideoObject").
std::string_view ShortType(std::string_view type) {
    const std::size_t slash = type.rfind('/');
    if (slash != std::string_view::npos) type.remove_prefix(slash + 1);
    const std::size_t colon = type.rfind(':');
    if (colon != std::string_view::npos) type.remove_prefix(colon + 1);
    return type;
}

bool IsMediaObject(const Json& node) {
    const auto type = node.find("@type");
    if (type == node.end()) return false;
    auto media = [](const Json& t) {
        if (!t.is_string()) return false;
        const std::string_view name = ShortType(t.get_ref<const std::string&>());
        return name == "VideoObject" || name == "AudioObject";
    };
    if (type->is_array()) {
        for (const Json& t : *type) {
            if (media(t)) return true;
        }
        return false;
    }
    return media(*type);
}

void Collect(const Json& node, std::vector<std::string>& out) {
    if (node.is_array()) {
        for (const Json& item : node)
            Collect(item, out);
        return;
    }
    if (!node.is_object()) return;
    if (IsMediaObject(node)) {
        const auto url = node.find("contentUrl");
        if (url != node.end()) {
            if (url->is_string()) out.push_back(url->get<std::string>());
            if (url->is_array()) {
                for (const Json& u : *url) {
                    if (u.is_string()) out.push_back(u.get<std::string>());
                }
            }
        }
    }
    for (const auto& item : node.items()) {
        if (item.value().is_array() || item.value().is_object()) Collect(item.value(), out);
    }
}

}  // namespace

std::vector<std::string> JsonLdMedia(std::string_view block) {
    std::vector<std::string> out;
    if (block.size() > kMaxJsonBytes) return out;
    std::string text;
    if (!Prepared(block, &text)) return out;
    const Json root = Json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (root.is_discarded()) return out;
    Collect(root, out);
    return out;
}

}  // namespace ql::service
