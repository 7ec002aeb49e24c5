// What the fuzz targets share: the fuzzer's bytes cut into a routine's inputs, and the check
// of a contract, which ends the program (a finding) when it fails.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "text/text.h"

namespace ql::fuzz {

// The bytes, taken from the front: single bytes for switches and small numbers, and fields
// that each end at the next 0x01 byte.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}

    // 0 when nothing is left.
    std::uint8_t Byte() {
        if (rest_.empty()) {
            return 0;
        }
        const auto b = static_cast<std::uint8_t>(rest_[0]);
        rest_.remove_prefix(1);
        return b;
    }
    // -128 to 127: positions and counts around and beyond a short text's ends.
    std::int32_t Small() { return static_cast<std::int8_t>(Byte()); }
    // A position or count that may also be omitted (when the byte is 0x7F).
    std::optional<std::int32_t> MaybeSmall() {
        const std::int32_t n = Small();
        return n == 0x7F ? std::nullopt : std::optional<std::int32_t>(n);
    }
    std::string_view Field() {
        const std::size_t cut = rest_.find('\x01');
        const std::string_view field = rest_.substr(0, cut);
        rest_ = cut == std::string_view::npos ? std::string_view() : rest_.substr(cut + 1);
        return field;
    }
    std::string_view Rest() {
        const std::string_view rest = rest_;
        rest_ = std::string_view();
        return rest;
    }

private:
    std::string_view rest_;
};

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: contract broken: %s\n", file, line, what);
    std::abort();
}

inline bool NoZero(const Text& t) { return t.view().find('\0') == std::string_view::npos; }
inline bool Holds(std::string_view hay, std::string_view part) { return hay.find(part) != std::string_view::npos; }
inline bool StartsWith(std::string_view s, std::string_view head) { return s.substr(0, head.size()) == head; }

}  // namespace ql::fuzz

#define QL_FUZZ_CHECK(condition) ((condition) ? void() : ::ql::fuzz::Fail(#condition, __FILE__, __LINE__))
