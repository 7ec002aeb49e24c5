#include "text/text.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace ql {

namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// 0-based index of the first match of `sought` in `hay` at or after `from`, or npos.
std::size_t FindBytes(std::string_view hay, std::string_view sought, std::size_t from, bool ignoreCase) {
    if (sought.empty() || from > hay.size() || sought.size() > hay.size() - from) {
        return std::string_view::npos;
    }
    if (!ignoreCase) {
        return hay.find(sought, from);
    }
    const char first = AsciiLower(sought[0]);
    const std::size_t last = hay.size() - sought.size();
    for (std::size_t i = from; i <= last; ++i) {
        if (AsciiLower(hay[i]) != first) {
            continue;
        }
        std::size_t k = 1;
        while (k < sought.size() && AsciiLower(hay[i + k]) == AsciiLower(sought[k])) {
            ++k;
        }
        if (k == sought.size()) {
            return i;
        }
    }
    return std::string_view::npos;
}

std::int32_t ClampedLength(std::size_t n) {
    return n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())
               ? std::numeric_limits<std::int32_t>::max()
               : static_cast<std::int32_t>(n);
}

}  // namespace

Text::Text(std::string&& s) : bytes_(std::move(s)) {
    const std::size_t zero = bytes_.find('\0');
    if (zero != std::string::npos) {
        bytes_.resize(zero);
    }
}

Text& Text::operator+=(std::string_view more) {
    bytes_ += more.substr(0, more.find('\0'));
    return *this;
}

int TextCompare(const Text& a, const Text& b) {
    // std::string_view compares as unsigned char through char_traits<char>::compare (memcmp).
    const int c = a.view().compare(b.view());
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::int32_t TextLength(const Text& t) { return ClampedLength(t.size()); }

Text JoinViews(std::initializer_list<std::string_view> parts) {
    std::size_t total = 0;
    for (std::string_view p : parts) {
        total += p.size();
    }
    std::string out;
    out.reserve(total);
    for (std::string_view p : parts) {
        out += p;
    }
    return Text(std::move(out));
}

std::int32_t TextFind(const Text& text, const Text& sought, std::optional<std::int32_t> start, bool ignoreCase) {
    const std::int32_t from = (!start || *start < 1) ? 1 : *start;
    const std::size_t at = FindBytes(text.view(), sought.view(), static_cast<std::size_t>(from) - 1, ignoreCase);
    return at == std::string_view::npos ? -1 : ClampedLength(at + 1);
}

Text TextLeft(const Text& t, std::int32_t n) {
    if (n <= 0) {
        return Text();
    }
    return Text(t.view().substr(0, static_cast<std::size_t>(n)));
}

Text TextRight(const Text& t, std::int32_t n) {
    if (n <= 0) {
        return Text();
    }
    const std::size_t take = std::min(t.size(), static_cast<std::size_t>(n));
    return Text(t.view().substr(t.size() - take));
}

Text TextMid(const Text& t, std::int32_t start, std::int32_t n) {
    const std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start) - 1;
    if (n <= 0 || from >= t.size()) {
        return Text();
    }
    return Text(t.view().substr(from, static_cast<std::size_t>(n)));
}

Text TextReplace(const Text& text, const Text& from, const Text& to, std::optional<std::int32_t> start,
                 std::optional<std::int32_t> count, bool ignoreCase) {
    const std::string_view hay = text.view();
    std::size_t pos = (!start || *start < 1) ? 0 : static_cast<std::size_t>(*start) - 1;
    std::int64_t left = count ? *count : std::numeric_limits<std::int64_t>::max();
    if (from.empty() || pos >= hay.size() || left <= 0) {
        return text;
    }
    std::string out;
    out.reserve(hay.size());
    out.append(hay.substr(0, pos));
    while (left > 0) {
        const std::size_t at = FindBytes(hay, from.view(), pos, ignoreCase);
        if (at == std::string_view::npos) {
            break;
        }
        out.append(hay.substr(pos, at - pos));
        out.append(to.view());
        pos = at + from.size();
        --left;
    }
    out.append(hay.substr(pos));
    return Text(std::move(out));
}

Text TextUpper(const Text& t) {
    std::string out(t.view());
    std::transform(out.begin(), out.end(), out.begin(), AsciiUpper);
    return Text(std::move(out));
}

Text TextLower(const Text& t) {
    std::string out(t.view());
    std::transform(out.begin(), out.end(), out.begin(), AsciiLower);
    return Text(std::move(out));
}

Text TextTrim(const Text& t) {
    const std::string_view v = t.view();
    const std::size_t first = v.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return Text();
    }
    const std::size_t last = v.find_last_not_of(' ');
    return Text(v.substr(first, last - first + 1));
}

double TextToNumber(const Text& t) {
    // Parsed by hand: strtod would follow the C locale's decimal point and accept hex,
    // "inf" and exponents, none of which a written number here means.
    const std::string_view v = t.view();
    std::size_t i = 0;
    while (i < v.size() && (v[i] == ' ' || v[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < v.size() && (v[i] == '+' || v[i] == '-')) {
        negative = v[i] == '-';
        ++i;
    }
    double value = 0.0;
    bool digits = false;
    while (i < v.size() && v[i] >= '0' && v[i] <= '9') {
        value = value * 10.0 + (v[i] - '0');
        digits = true;
        ++i;
    }
    if (i < v.size() && v[i] == '.') {
        ++i;
        double scale = 0.1;
        while (i < v.size() && v[i] >= '0' && v[i] <= '9') {
            value += (v[i] - '0') * scale;
            scale /= 10.0;
            digits = true;
            ++i;
        }
    }
    if (!digits) {
        return 0.0;
    }
    return negative ? -value : value;
}

std::int64_t TruncateToInteger(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    constexpr double kLimit = 9223372036854775807.0;  // 2^63, the first double past the range
    if (v >= kLimit) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (v <= -kLimit) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(v);  // conversion truncates toward zero
}

Text TextFromNumber(std::int64_t n) { return Text(std::to_string(n)); }

Text BytesToText(const ByteSet& bytes) {
    const auto zero = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    return Text(std::string(bytes.begin(), zero));
}

ByteSet TextToBytes(const Text& t) { return ByteSet(t.str().begin(), t.str().end()); }

ByteSet BytesOf(std::string_view s) { return ByteSet(s.begin(), s.end()); }

Text CharFromCode(int code) {
    const char c = static_cast<char>(code & 0xFF);
    return c == '\0' ? Text() : Text(std::string(1, c));
}

std::int32_t ByteSetLength(const ByteSet& b) { return ClampedLength(b.size()); }

ByteSet BlankByteSet(std::int32_t n) { return n <= 0 ? ByteSet() : ByteSet(static_cast<std::size_t>(n), 0); }

}  // namespace ql
