#include "service/reading/html_entities.h"
#include "service/reading/ascii.h"

#include <algorithm>
#include <cstdint>

#include "service/reading/page_text.h"

namespace ql::service {

namespace {

struct NamedReference {
    std::string_view name;
    std::string_view text;
};

struct NumericReplacement {
    char32_t number;
    std::string_view text;
};

#include "service/reading/html_entities.inc"

// A name is at most this many characters (the longest known one has 32).
constexpr std::size_t kMaxNameChars = 32;

const std::string_view* FindNamed(std::string_view name) {
    const auto* end = std::end(kNamedReferences);
    const auto* at = std::lower_bound(std::begin(kNamedReferences), end, name,
                                      [](const NamedReference& r, std::string_view n) { return r.name < n; });
    return at != end && at->name == name ? &at->text : nullptr;
}

void AppendNumeric(std::string& out, char32_t number) {
    const auto* end = std::end(kNumericReplacements);
    const auto* at = std::lower_bound(std::begin(kNumericReplacements), end, number,
                                      [](const NumericReplacement& r, char32_t n) { return r.number < n; });
    if (at != end && at->number == number) {
        out.append(at->text);
    } else if ((number >= 0xD800 && number <= 0xDFFF) || number > 0x10FFFF) {
        out.append("\xEF\xBF\xBD");
    } else if (!std::binary_search(std::begin(kDroppedCodePoints), std::end(kDroppedCodePoints), number)) {
        AppendUtf8(out, number);
    }
}

// The reference at text[i] ("&" there) appended to out; returns where the text goes on.
std::size_t DecodeOne(std::string_view text, std::size_t i, std::string& out) {
    std::size_t j = i + 1;
    if (j < text.size() && text[j] == '#') {
        const bool hex = j + 1 < text.size() && (text[j + 1] == 'x' || text[j + 1] == 'X');
        std::size_t k = j + (hex ? 2 : 1);
        const std::size_t digits = k;
        char32_t number = 0;
        while (k < text.size() && (hex ? IsHex(text[k]) : IsDigit(text[k]))) {
            const char c = text[k];
            const char32_t d = IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10;
            number = number > 0x10FFFF ? number : number * (hex ? 16 : 10) + d;
            ++k;
        }
        if (k == digits) {
            out.push_back('&');
            return i + 1;
        }
        if (k < text.size() && text[k] == ';') ++k;
        AppendNumeric(out, number);
        return k;
    }
    // Up to 32 characters other than white space, "<", "&", "#" and ";", then an optional ";".
    std::size_t k = j, chars = 0;
    while (k < text.size() && chars < kMaxNameChars) {
        const char c = text[k];
        if (c == '\t' || c == '\n' || c == '\f' || c == ' ' || c == '<' || c == '&' || c == '#' || c == ';') break;
        std::size_t length = 1;
        CodePointAt(text, k, &length);
        k += length;
        ++chars;
    }
    if (chars == 0) {
        out.push_back('&');
        return i + 1;
    }
    if (k < text.size() && text[k] == ';') ++k;
    const std::string_view name = text.substr(j, k - j);
    if (const std::string_view* found = FindNamed(name)) {
        out.append(*found);
        return k;
    }
    // The longest known name the text starts with (names of two characters or more).
    for (std::size_t length = name.size() - 1; length >= 2; --length) {
        if (const std::string_view* found = FindNamed(name.substr(0, length))) {
            out.append(*found);
            out.append(name.substr(length));
            return k;
        }
    }
    out.append(text.substr(i, k - i));
    return k;
}

}  // namespace

std::string DecodeHtmlReferences(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t amp = text.find('&', i);
        if (amp == std::string_view::npos) break;
        out.append(text.substr(i, amp - i));
        i = DecodeOne(text, amp, out);
    }
    out.append(text.substr(i));
    return out;
}

}  // namespace ql::service
