// Text and byte sets: the two value types every part of the program passes around,
// and the small set of operations the rest of the program is written in.
//
// A Text holds GBK bytes (code page 936) and never a zero byte; the absent text is the
// empty text. Positions are 1-based byte positions; a search that finds nothing yields -1;
// counts and positions out of range are clamped. A ByteSet is a counted byte sequence that
// may hold zero bytes (HTTP bodies, file contents, conversion buffers).
//
// Every operation returns a new value owned by the caller and leaves its inputs alone, and
// none keeps state, so all are safe on several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ql {

using ByteSet = std::vector<std::uint8_t>;

class Text {
public:
    Text() = default;
    // A null pointer is the absent text, which is the empty text.
    Text(const char* s) : Text(s ? std::string_view(s) : std::string_view()) {}
    // Keeps the bytes before the first zero byte, so a Text can always be handed to a
    // C API as a terminated string without losing or inventing anything.
    Text(std::string_view s) : bytes_(s.substr(0, s.find('\0'))) {}
    Text(const std::string& s) : Text(std::string_view(s)) {}
    Text(std::string&& s);

    const char* c_str() const noexcept { return bytes_.c_str(); }
    const std::string& str() const noexcept { return bytes_; }
    std::string_view view() const noexcept { return bytes_; }
    std::size_t size() const noexcept { return bytes_.size(); }
    bool empty() const noexcept { return bytes_.empty(); }
    unsigned char operator[](std::size_t i) const { return static_cast<unsigned char>(bytes_[i]); }

    // Appends in place (amortised); zero bytes in `more` end what is taken from it.
    Text& operator+=(std::string_view more);
    Text& operator+=(const Text& more) {
        bytes_ += more.bytes_;
        return *this;
    }
    Text& operator+=(const char* more) { return *this += (more ? std::string_view(more) : std::string_view()); }
    void push_back(char c) {
        if (c != '\0') bytes_.push_back(c);
    }
    void reserve(std::size_t n) { bytes_.reserve(n); }

    friend bool operator==(const Text& a, const Text& b) { return a.bytes_ == b.bytes_; }
    friend bool operator!=(const Text& a, const Text& b) { return !(a == b); }

private:
    std::string bytes_;
};

// ---- comparing, measuring, joining ----

// -1, 0 or +1 by unsigned byte order; a prefix is smaller.
int TextCompare(const Text& a, const Text& b);
std::int32_t TextLength(const Text& t);

Text JoinViews(std::initializer_list<std::string_view> parts);
inline std::string_view JoinPart(const Text& t) { return t.view(); }
inline std::string_view JoinPart(std::string_view s) { return s.substr(0, s.find('\0')); }
inline std::string_view JoinPart(const char* s) { return s ? std::string_view(s) : std::string_view(); }
inline std::string_view JoinPart(const std::string& s) { return JoinPart(std::string_view(s)); }
// t1 followed by t2 ... tk; always a new text as long as the sum of the parts.
template <class... Parts>
Text TextJoin(const Parts&... parts) {
    return JoinViews({JoinPart(parts)...});
}

// ---- searching and cutting ----

// 1-based position of the first occurrence of `sought` at or after `start` (omitted or
// below 1 means 1), or -1. With `ignoreCase` ASCII letters match either case. An empty
// `sought` is never found (-1).
std::int32_t TextFind(const Text& text, const Text& sought, std::optional<std::int32_t> start = std::nullopt,
                      bool ignoreCase = false);
Text TextLeft(const Text& t, std::int32_t n);
Text TextRight(const Text& t, std::int32_t n);
// n bytes from the 1-based `start`; a start below 1 counts from position 1.
Text TextMid(const Text& t, std::int32_t start, std::int32_t n);
// Replaces occurrences of `from` at or after `start`, at most `count` times (omitted: all),
// left to right, never rescanning replaced text. An empty `from` replaces nothing.
Text TextReplace(const Text& text, const Text& from, const Text& to, std::optional<std::int32_t> start = std::nullopt,
                 std::optional<std::int32_t> count = std::nullopt, bool ignoreCase = false);

// ---- case and blanks ----

Text TextUpper(const Text& t);  // ASCII a-z only; other bytes unchanged
Text TextLower(const Text& t);  // ASCII A-Z only
Text TextTrim(const Text& t);   // leading and trailing spaces (0x20) only

// ---- numbers ----

// The decimal number at the start of the text (after leading blanks): optional sign,
// digits, optional fraction. Anything else ends the number; no number gives 0.
double TextToNumber(const Text& t);
// Rounds toward zero; NaN gives 0 and values beyond the 64-bit range saturate.
std::int64_t TruncateToInteger(double v);
// Decimal digits of n, with a leading "-" when negative.
Text TextFromNumber(std::int64_t n);

// ---- bytes ----

Text BytesToText(const ByteSet& bytes);  // up to the first zero byte
inline Text ByteSetAsText(const ByteSet& bytes) { return BytesToText(bytes); }
ByteSet TextToBytes(const Text& t);
ByteSet BytesOf(std::string_view s);  // every byte of s, zero bytes included
Text CharFromCode(int code);          // one-byte text of the low 8 bits; 0 gives the empty text
std::int32_t ByteSetLength(const ByteSet& b);
ByteSet BlankByteSet(std::int32_t n);  // n zero bytes; empty for n <= 0

template <class T>
std::int32_t ElementCount(const std::vector<T>& array) {
    return static_cast<std::int32_t>(array.size());
}

}  // namespace ql
