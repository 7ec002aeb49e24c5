// What the end-to-end probe programs share: finding the program's window, bytes written as
// hex on their one output line, and the main loop that answers one command after another.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstring>
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

// Whether the program's main window (or the given one of several copies') is ready for input: shown, its skin's region
// set, and its thread back in its message loop (it answers a message). The skin's set-up sets the region and then hides
// and shows the window once, inside the handler that runs before the loop; a click that arrives before the loop answers
// may fall between the hiding and the showing.
inline bool MainWindowReady(HWND w = FindMainWindow()) {
    if (!w || !IsWindow(w)) {
        return false;
    }
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    const bool shaped = GetWindowRgn(w, region) != ERROR;
    DeleteObject(region);
    DWORD_PTR ignored = 0;
    return shaped && SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &ignored) != 0 && IsWindowVisible(w);
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

// Runs a probe's commands. `run(command, argument)` answers one command with its line(s) on
// standard output; a command that cannot be answered prints "error …" and ends the process.
// Given a command on the command line, the probe answers it and ends. Given "serve", it reads
// one command a line ("COMMAND [ARGUMENT]") from standard input until that ends, and follows
// each answer with a line "." and a flush: a driver keeps one probe for its whole run instead
// of starting a Windows process for every question.
template <class Run>
int ProbeMain(int argc, char** argv, Run run) {
    if (argc < 2 || std::strcmp(argv[1], "serve") != 0) {
        return run(std::string(argc > 1 ? argv[1] : ""), std::string(argc > 2 ? argv[2] : ""));
    }
    std::string line;
    for (int c = std::getchar(); c != EOF; c = std::getchar()) {
        if (c != '\n') {
            if (c != '\r') {
                line.push_back(static_cast<char>(c));
            }
            continue;
        }
        const std::size_t blank = line.find(' ');
        run(line.substr(0, blank), blank == std::string::npos ? std::string() : line.substr(blank + 1));
        std::printf(".\n");
        std::fflush(stdout);
        line.clear();
    }
    return 0;
}

}  // namespace ql::test
