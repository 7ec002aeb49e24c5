#include "text/wide.h"

#include <windows.h>

#include <limits>

namespace ql {

namespace {
constexpr UINT kGbk = 936;
}

std::wstring WideFromGbk(const Text& text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return std::wstring();
    }
    const int n = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(kGbk, 0, text.c_str(), n, nullptr, 0);
    if (units <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(kGbk, 0, text.c_str(), n, wide.data(), units);
    return wide;
}

Text GbkFromWide(std::wstring_view wide) {
    if (wide.empty() || wide.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / 2)) {
        return Text();
    }
    const int n = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(kGbk, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return Text();
    }
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(kGbk, 0, wide.data(), n, out.data(), bytes, nullptr, nullptr);
    return Text(std::move(out));  // an embedded U+0000 ends the text, as it would on screen
}

}  // namespace ql
