// A helper for the skin's end-to-end test, run beside the real program in the same Wine
// session: it answers what xdotool cannot see from outside. One command per run, or one per
// line of standard input after "serve" (ql::test::ProbeMain).
//
//   skin_probe ready       "ready" when the main window is shown, shaped and answering, else "not-ready"
//   skin_probe iconic      "iconic" or "shown" (the main window's minimised state), "none"
//   skin_probe restore     brings a minimised main window back
//   skin_probe invalidate  marks a small part of the main window (beside 图片框1) for repainting
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/probe_win.h"

namespace {

// Hidden or shown.
HWND MainWindow() { return ql::test::FindMainWindow(false); }

int Run(const std::string& command, const std::string&) {
    if (command == "ready") {
        std::printf("%s\n", ql::test::MainWindowReady() ? "ready" : "not-ready");
        return 0;
    }
    HWND window = MainWindow();
    if (!window) {
        std::printf("none\n");
        return 0;
    }
    if (command == "iconic") {
        std::printf("%s\n", IsIconic(window) ? "iconic" : "shown");
    } else if (command == "invalidate") {
        const RECT r{380, 30, 420, 60};
        InvalidateRect(window, &r, TRUE);
        std::printf("ok\n");
    } else if (command == "restore") {
        ShowWindow(window, SW_RESTORE);
        std::printf("ok\n");
    } else {
        std::printf("error unknown command\n");
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return ql::test::ProbeMain(argc, argv, Run); }
