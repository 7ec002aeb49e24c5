// What the end-to-end probe programs share: finding the program's window, and bytes written
// as hex on their one output line.
#pragma once

#include <windows.h>

#include <string>

#include "text/wide.h"

namespace ql::test {

// The program's main window, by its title; null when there is none (or, when it must be
// visible, while it is hidden).
inline HWND FindMainWindow(bool mustBeVisible = true) {
    const std::wstring title = WideFromGbk("青岚综合视频下载精灵 v1.0");
    HWND w = FindWindowW(nullptr, title.c_str());
    return (w && (!mustBeVisible || IsWindowVisible(w))) ? w : nullptr;
}

// Lower-case hex, "-" for no bytes.
inline std::string Hex(const std::string& bytes) {
    if (bytes.empty()) {
        return "-";
    }
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

}  // namespace ql::test
