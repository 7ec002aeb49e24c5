#include "service/reading/idna.h"

#include <vector>

#include "service/reading/page_text.h"

namespace ql::service {

namespace {

constexpr char32_t kBase = 36, kTMin = 1, kTMax = 26, kSkew = 38, kDamp = 700, kInitialBias = 72, kInitialN = 128;
constexpr std::size_t kMaxLabelBytes = 63;

char Digit(char32_t d) { return static_cast<char>(d < 26 ? 'a' + d : '0' + (d - 26)); }

char32_t Adapt(char32_t delta, char32_t points, bool first) {
    delta = first ? delta / kDamp : delta / 2;
    delta += delta / points;
    char32_t k = 0;
    while (delta > ((kBase - kTMin) * kTMax) / 2) {
        delta /= kBase - kTMin;
        k += kBase;
    }
    return k + (kBase - kTMin + 1) * delta / (delta + kSkew);
}

bool IsDot(char32_t c) { return c == '.' || c == 0x3002 || c == 0xFF0E || c == 0xFF61; }

// Characters that map to nothing in a host name.
bool MapsToNothing(char32_t c) {
    return c == 0xAD || c == 0x34F || c == 0x1806 || (c >= 0x180B && c <= 0x180D) || (c >= 0x200B && c <= 0x200D) ||
           c == 0x2060 || (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF;
}

bool Prohibited(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x80 && IsUnicodeSpace(c)) || (c >= 0xE000 && c <= 0xF8FF) ||
           (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE || (c >= 0xFFF9 && c <= 0xFFFD) ||
           (c >= 0xD800 && c <= 0xDFFF) || (c >= 0xF0000) || (c >= 0x2FF0 && c <= 0x2FFB) ||
           (c >= 0x200E && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x206A && c <= 0x206F);
}

char32_t Mapped(char32_t c) {
    if (c >= 0xFF01 && c <= 0xFF5E) c = c - 0xFF01 + 0x21;  // full-width forms
    if (c >= 'A' && c <= 'Z') return c + 0x20;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F)) {
        return c + 0x20;
    }
    return c;
}

std::optional<std::string> LabelToAscii(const std::u32string& label) {
    bool ascii = true;
    for (char32_t c : label)
        ascii = ascii && c < 0x80;
    std::string out;
    if (ascii) {
        for (char32_t c : label)
            out.push_back(static_cast<char>(c));
    } else {
        std::u32string mapped;
        for (char32_t c : label) {
            if (MapsToNothing(c)) continue;
            const char32_t m = Mapped(c);
            if (Prohibited(m)) return std::nullopt;
            mapped.push_back(m);
        }
        bool nowAscii = true;
        for (char32_t c : mapped)
            nowAscii = nowAscii && c < 0x80;
        if (nowAscii) {
            for (char32_t c : mapped)
                out.push_back(static_cast<char>(c));
        } else {
            if (mapped.size() >= 4 && mapped.compare(0, 4, U"xn--") == 0) return std::nullopt;
            const std::optional<std::string> code = PunycodeEncode(mapped);
            if (!code) return std::nullopt;
            out = "xn--" + *code;
        }
    }
    if (out.empty() || out.size() > kMaxLabelBytes) return std::nullopt;
    return out;
}

}  // namespace

std::optional<std::string> PunycodeEncode(std::u32string_view input) {
    std::string out;
    for (char32_t c : input) {
        if (c < 0x80) out.push_back(static_cast<char>(c));
    }
    const std::size_t basic = out.size();
    std::size_t handled = basic;
    if (basic > 0) out.push_back('-');
    char32_t n = kInitialN, delta = 0, bias = kInitialBias;
    const char32_t kMax = 0x7FFFFFFF;
    while (handled < input.size()) {
        char32_t m = kMax;
        for (char32_t c : input) {
            if (c >= n && c < m) m = c;
        }
        if ((m - n) > (kMax - delta) / (handled + 1)) return std::nullopt;
        delta += (m - n) * static_cast<char32_t>(handled + 1);
        n = m;
        for (char32_t c : input) {
            if (c < n && ++delta == 0) return std::nullopt;
            if (c != n) continue;
            char32_t q = delta;
            for (char32_t k = kBase;; k += kBase) {
                const char32_t t = k <= bias ? kTMin : k >= bias + kTMax ? kTMax : k - bias;
                if (q < t) break;
                out.push_back(Digit(t + (q - t) % (kBase - t)));
                q = (q - t) / (kBase - t);
            }
            out.push_back(Digit(q));
            bias = Adapt(delta, static_cast<char32_t>(handled + 1), handled == basic);
            delta = 0;
            ++handled;
        }
        ++delta;
        ++n;
    }
    return out;
}

std::optional<std::string> HostToAscii(std::string_view utf8Host) {
    bool ascii = true;
    for (char c : utf8Host)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) {
        // Every label but the last one from 1 to 63 bytes, the last one shorter than 64.
        std::size_t start = 0;
        while (true) {
            const std::size_t dot = utf8Host.find('.', start);
            const std::size_t length = (dot == std::string_view::npos ? utf8Host.size() : dot) - start;
            if (dot == std::string_view::npos) {
                if (length > kMaxLabelBytes) return std::nullopt;
                break;
            }
            if (length == 0 || length > kMaxLabelBytes) return std::nullopt;
            start = dot + 1;
        }
        return std::string(utf8Host);
    }
    std::vector<std::u32string> labels(1);
    for (std::size_t i = 0; i < utf8Host.size();) {
        std::size_t length = 1;
        const char32_t c = CodePointAt(utf8Host, i, &length);
        i += length;
        if (IsDot(c)) {
            labels.emplace_back();
        } else {
            labels.back().push_back(c);
        }
    }
    const bool trailingDot = labels.size() > 1 && labels.back().empty();
    if (trailingDot) labels.pop_back();
    std::string out;
    for (const std::u32string& label : labels) {
        const std::optional<std::string> ascii = LabelToAscii(label);
        if (!ascii) return std::nullopt;
        if (!out.empty()) out.push_back('.');
        out += *ascii;
    }
    if (trailingDot) out.push_back('.');
    return out;
}

}  // namespace ql::service
