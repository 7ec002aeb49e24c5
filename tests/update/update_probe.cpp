// A helper for the update check's end-to-end test: run beside the real program in the same
// Wine session, it finds the main window, 图片框2, 编辑框1 and the program's message boxes
// from outside. One command per run, or one per line of standard input after "serve"
// (ql::test::ProbeMain); texts come out as hex of their GBK bytes.
//
//   update_probe ready                "ready" when the main window is shown, shaped and answering
//   update_probe wait-window MS       "ok" when the main window is shown within MS
//   update_probe point ITEM           screen point at the centre of 图片框2 ("picture") or
//                                     编辑框1 ("edit"): "X Y"
//   update_probe box MS               waits up to MS for a message box of the program:
//                                     "box TITLEHEX TEXTHEX owned|free icon|noicon BUTTONS"
//                                     (BUTTONS: the visible ones, "ok", "ok,cancel", …, "-" for
//                                     none), or "none"
//   update_probe box-button ok|cancel screen point at the centre of that button of the box
//   update_probe close-box            closes the box as its close box does (WM_CLOSE)
//   update_probe paints MS            invalidates the main window and says "painted" when it
//                                     has been repainted within MS, else "stale"
//   update_probe edit-text            "text HEX" of 编辑框1, asked with a 5-s limit ("hung" past it)
//                                     while posted messages keep arriving
//   update_probe close                closes the main window
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/form.h"
#include "tests/probe_win.h"
#include "text/wide.h"

namespace {

using ql::FormItem;
using ql::test::Hex;

std::atomic<bool> g_stopNudging{false};

[[noreturn]] void Fail(const char* what) {
    std::printf("error %s\n", what);
    std::exit(2);
}

HWND MainWindow() { return ql::test::FindMainWindow(); }

// The control of the form item, found where the form puts it.
HWND FormControl(FormItem item) {
    HWND window = MainWindow();
    const ql::FormControl* c = ql::FindFormControl(item);
    if (!window || !c) {
        Fail("main window not found");
    }
    const ql::Rect r = ql::RectInWindow(*c);
    const POINT centre = {r.left + r.width / 2, r.top + r.height / 2};
    HWND child = ChildWindowFromPointEx(window, centre, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
    if (!child || child == window) {
        Fail("control not found");
    }
    return child;
}

void PrintCentre(HWND w) {
    RECT r;
    GetWindowRect(w, &r);
    std::printf("%ld %ld\n", (r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

HWND FindBox() {
    HWND window = MainWindow();
    if (!window) {
        return nullptr;
    }
    DWORD program = 0;
    GetWindowThreadProcessId(window, &program);
    HWND box = nullptr;
    while ((box = FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr) {
        DWORD pid = 0;
        GetWindowThreadProcessId(box, &pid);
        if (pid == program && IsWindowVisible(box)) {
            return box;
        }
    }
    return nullptr;
}

struct BoxParts {
    std::string buttons;
    bool icon = false;
};

BOOL CALLBACK CollectBoxPart(HWND child, LPARAM param) {
    auto* parts = reinterpret_cast<BoxParts*>(param);
    if (!IsWindowVisible(child)) {
        return TRUE;
    }
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (_wcsicmp(cls, L"Button") == 0) {
        const int id = GetDlgCtrlID(child);
        const std::string name = id == IDOK ? "ok" : id == IDCANCEL ? "cancel" : std::to_string(id);
        parts->buttons += (parts->buttons.empty() ? "" : ",") + name;
    } else if (_wcsicmp(cls, L"Static") == 0 && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
               SendMessageW(child, STM_GETICON, 0, 0) != 0) {
        parts->icon = true;
    }
    return TRUE;
}

int Run(const std::string& cmd, const std::string& arg) {
    if (cmd.empty()) {
        Fail("no command");
    }
    if (cmd == "ready") {
        std::printf("%s\n", ql::test::MainWindowReady() ? "ready" : "not-ready");
    } else if (cmd == "wait-window") {
        const DWORD until = GetTickCount() + static_cast<DWORD>(std::atoi(arg.c_str()));
        while (!MainWindow()) {
            if (static_cast<LONG>(GetTickCount() - until) > 0) {
                std::printf("none\n");
                return 1;
            }
            Sleep(50);
        }
        std::printf("ok\n");
    } else if (cmd == "point") {
        PrintCentre(FormControl(arg == "edit" ? FormItem::编辑框1 : FormItem::图片框2));
    } else if (cmd == "box") {
        const DWORD until = GetTickCount() + static_cast<DWORD>(std::atoi(arg.c_str()));
        do {
            if (HWND box = FindBox()) {
                Sleep(100);  // let the box lay out its buttons
                wchar_t title[256] = {}, text[256] = {};
                GetWindowTextW(box, title, 256);
                GetDlgItemTextW(box, 0xFFFF, text, 256);
                BoxParts parts;
                EnumChildWindows(box, CollectBoxPart, reinterpret_cast<LPARAM>(&parts));
                std::printf("box %s %s %s %s %s\n", Hex(ql::GbkFromWide(title).str()).c_str(),
                            Hex(ql::GbkFromWide(text).str()).c_str(),
                            GetWindow(box, GW_OWNER) == MainWindow() ? "owned" : "free", parts.icon ? "icon" : "noicon",
                            parts.buttons.empty() ? "-" : parts.buttons.c_str());
                return 0;
            }
            Sleep(20);
        } while (static_cast<LONG>(GetTickCount() - until) < 0);
        std::printf("none\n");
    } else if (cmd == "box-button") {
        HWND box = FindBox();
        HWND button = box ? GetDlgItem(box, arg == "cancel" ? IDCANCEL : IDOK) : nullptr;
        if (!button) {
            Fail("no such button");
        }
        PrintCentre(button);
    } else if (cmd == "close-box") {
        HWND box = FindBox();
        if (!box) {
            Fail("no box");
        }
        PostMessageW(box, WM_CLOSE, 0, 0);
        std::printf("ok\n");
    } else if (cmd == "paints") {
        HWND window = MainWindow();
        if (!window) {
            Fail("main window not found");
        }
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
        const DWORD until = GetTickCount() + static_cast<DWORD>(std::atoi(arg.c_str()));
        do {
            if (!GetUpdateRect(window, nullptr, FALSE)) {
                std::printf("painted\n");
                return 0;
            }
            Sleep(20);
        } while (static_cast<LONG>(GetTickCount() - until) < 0);
        std::printf("stale\n");
    } else if (cmd == "edit-text") {
        // A sent message alone does not wake a wait for input and posted messages: posted
        // nudges keep waking it while the question is asked.
        HWND window = MainWindow();
        g_stopNudging = false;
        HANDLE nudger = CreateThread(
            nullptr, 0,
            [](void* w) -> DWORD {
                while (!g_stopNudging) {
                    PostMessageW(static_cast<HWND>(w), WM_NULL, 0, 0);
                    Sleep(50);
                }
                return 0;
            },
            window, 0, nullptr);
        wchar_t text[256] = {};
        DWORD_PTR copied = 0;
        const BOOL answered = SendMessageTimeoutW(FormControl(FormItem::编辑框1), WM_GETTEXT, 256,
                                                  reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &copied);
        g_stopNudging = true;
        WaitForSingleObject(nudger, INFINITE);
        CloseHandle(nudger);
        if (!answered) {
            std::printf("hung\n");
            return 0;
        }
        std::printf("text %s\n", Hex(ql::GbkFromWide(text).str()).c_str());
    } else if (cmd == "close") {
        if (HWND window = MainWindow()) {
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
        std::printf("ok\n");
    } else {
        Fail("unknown command");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return ql::test::ProbeMain(argc, argv, Run); }
