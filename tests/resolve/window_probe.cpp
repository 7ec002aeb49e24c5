// A helper for the end-to-end test: run beside the real program in the same Wine session,
// it finds the main window and its controls from outside and reads or sets what a user
// would see or do. One command per run, or one per line of standard input after "serve"
// (ql::test::ProbeMain); texts go in and out as hex of their GBK bytes, so nothing depends on
// the code page of the console.
//
//   window_probe windows                 "windows COUNT HANDLE…" of the shown main windows of
//                                        every running copy, topmost first (hex handles)
//   window_probe use HANDLE              the later commands of a "serve" run address that
//                                        copy's window ("0": the topmost one, as without it)
//   window_probe move X Y                moves the main window to screen point X, Y
//   window_probe ready                   "ready" when the main window is shown, shaped and
//                                        answering messages, else "not-ready"
//   window_probe wait-window MS          "ok" when the main window is shown within MS
//   window_probe set-address HEX         puts the text into the address box
//   window_probe button-rect             screen rectangle of the button: "L T R B"
//   window_probe address-rect            screen rectangle of the address box
//   window_probe row-rect N              screen rectangle of row N of the list
//   window_probe rows                    "rows COUNT HEX…" ("-" for an empty row)
//   window_probe selected                "selected N" (-1: none)
//   window_probe select N                selects row N; -1 clears the selection
//   window_probe command download|copy   chooses the menu item as the menu would
//   window_probe box MS                  waits up to MS for a message box of the program:
//                                        "box TITLEHEX TEXTHEX" and answers it with OK, or "none"
//   window_probe clipboard               "clipboard UNICODEHEX ANSIHEX" (CF_UNICODETEXT as GBK)
//   window_probe set-clipboard HEX       puts a text on the clipboard (CF_UNICODETEXT only)
//   window_probe menu MS                 "menu" when a pop-up menu is shown within MS, else "none"
//   window_probe close                   closes the main window
//   window_probe picture-point           screen point at the middle of 图片框2 (the update check): "X Y"
//   window_probe cursor                  "cursor HANDLE" of the pointer the foreground window's
//                                        thread has set ("cursor 0" for none)
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/form.h"
#include "app/main_window.h"
#include "tests/probe_win.h"
#include "tests/resolve/window_access_win.h"
#include "text/wide.h"

namespace {

using ql::GbkFromWide;
using ql::Text;
using ql::WideFromGbk;
using namespace ql::test;

int Run(const std::string& cmd, const std::string& argument) {
    if (cmd.empty()) {
        std::printf("error no command\n");
        return 2;
    }
    const char* arg = argument.c_str();
    if (cmd == "windows") {
        std::vector<HWND> windows;
        EnumWindows(CollectMainWindow, reinterpret_cast<LPARAM>(&windows));
        std::printf("windows %d", static_cast<int>(windows.size()));
        for (HWND w : windows) {
            std::printf(" %llx", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(w)));
        }
        std::printf("\n");
    } else if (cmd == "use") {
        chosen = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(arg, nullptr, 16)));
        std::printf("ok\n");
    } else if (cmd == "move") {
        int x = 0, y = 0;
        if (std::sscanf(arg, "%d %d", &x, &y) != 2) {
            std::printf("error move needs X Y\n");
            return 2;
        }
        SetWindowPos(Find().window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        std::printf("ok\n");
    } else if (cmd == "ready") {
        const HWND w = MainWindow();
        std::printf("%s\n", w && ql::test::MainWindowReady(w) ? "ready" : "not-ready");
    } else if (cmd == "wait-window") {
        const DWORD until = GetTickCount() + static_cast<DWORD>(std::atoi(arg));
        while (!MainWindow()) {
            if (static_cast<LONG>(GetTickCount() - until) > 0) {
                std::printf("none\n");
                return 1;
            }
            Sleep(50);
        }
        Find();
        std::printf("ok\n");
    } else if (cmd == "set-address") {
        const std::wstring text = WideFromGbk(Text(Unhex(arg)));
        SendMessageW(Find().edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        std::printf("ok\n");
    } else if (cmd == "button-rect") {
        RECT r;
        GetWindowRect(Find().button, &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    } else if (cmd == "address-rect") {
        RECT r;
        GetWindowRect(Find().edit, &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    } else if (cmd == "row-rect") {
        const Controls c = Find();
        Remote mem(c.list, sizeof(RECT));
        RECT r = {};
        r.left = LVIR_LABEL;
        mem.Write(0, &r, sizeof r);
        if (!SendMessageW(c.list, LVM_GETITEMRECT, std::atoi(arg), reinterpret_cast<LPARAM>(mem.at(0)))) {
            std::printf("none\n");
            return 1;
        }
        mem.Read(0, &r, sizeof r);
        MapWindowPoints(c.list, nullptr, reinterpret_cast<POINT*>(&r), 2);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    } else if (cmd == "rows") {
        const Controls c = Find();
        Remote mem(c.list, sizeof(LVITEMW) + kTextChars * sizeof(wchar_t));
        const int n = static_cast<int>(SendMessageW(c.list, LVM_GETITEMCOUNT, 0, 0));
        std::printf("rows %d", n);
        for (int i = 0; i < n; ++i) {
            std::printf(" %s", Hex(RowText(c.list, mem, i)).c_str());
        }
        std::printf("\n");
    } else if (cmd == "selected") {
        std::printf("selected %d\n", static_cast<int>(SendMessageW(Find().list, LVM_GETNEXTITEM,
                                                                   static_cast<WPARAM>(-1), LVNI_SELECTED)));
    } else if (cmd == "select") {
        const Controls c = Find();
        const int row = std::atoi(arg);
        Remote mem(c.list, sizeof(LVITEMW));
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = row >= 0 ? (LVIS_SELECTED | LVIS_FOCUSED) : 0;
        mem.Write(0, &state, sizeof state);
        SendMessageW(c.list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(mem.at(0)));
        std::printf("ok\n");
    } else if (cmd == "command") {
        const ql::FormItem item = std::strcmp(arg, "download") == 0 ? ql::FormItem::菜单_下载 : ql::FormItem::菜单_复制;
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(Find().window, WM_COMMAND, MAKEWPARAM(ql::MenuCommandId(item), 0), 0, SMTO_NORMAL, 10000,
                            &ignored);
        std::printf("ok\n");
    } else if (cmd == "box") {
        const Controls c = Find();
        DWORD program = 0;
        GetWindowThreadProcessId(c.window, &program);
        const DWORD until = GetTickCount() + static_cast<DWORD>(std::atoi(arg));
        do {
            HWND box = nullptr;
            while ((box = FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr) {
                DWORD pid = 0;
                GetWindowThreadProcessId(box, &pid);
                if (pid == program && IsWindowVisible(box)) {
                    wchar_t title[256] = {}, text[256] = {};
                    GetWindowTextW(box, title, 256);
                    GetDlgItemTextW(box, 0xFFFF, text, 256);
                    std::printf("box %s %s %s\n", Hex(GbkFromWide(title).str()).c_str(),
                                Hex(GbkFromWide(text).str()).c_str(),
                                GetWindow(box, GW_OWNER) == c.window ? "owned" : "free");
                    PostMessageW(box, WM_COMMAND, IDOK, 0);
                    return 0;
                }
            }
            Sleep(20);
        } while (static_cast<LONG>(GetTickCount() - until) < 0);
        std::printf("none\n");
    } else if (cmd == "clipboard") {
        if (!OpenClipboardSoon(nullptr)) {
            std::printf("error clipboard busy\n");
            return 2;
        }
        const std::string unicode = ClipboardFormat(CF_UNICODETEXT);
        const std::string ansi = ClipboardFormat(CF_TEXT);
        CloseClipboard();
        std::printf("clipboard %s %s\n", Hex(unicode).c_str(), Hex(ansi).c_str());
    } else if (cmd == "set-clipboard") {
        const std::wstring text = WideFromGbk(Text(Unhex(arg)));
        HWND owner = Find().window;  // any window will do as the owner; the program's is at hand
        if (!OpenClipboardSoon(owner)) {
            std::printf("error clipboard busy\n");
            return 2;
        }
        EmptyClipboard();
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
        std::memcpy(GlobalLock(h), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        GlobalUnlock(h);
        SetClipboardData(CF_UNICODETEXT, h);
        CloseClipboard();
        std::printf("ok\n");
    } else if (cmd == "menu") {
        const DWORD until = GetTickCount() + static_cast<DWORD>(std::atoi(arg));
        do {
            HWND menu = FindWindowW(L"#32768", nullptr);
            if (menu && IsWindowVisible(menu)) {
                std::printf("menu\n");
                return 0;
            }
            Sleep(20);
        } while (static_cast<LONG>(GetTickCount() - until) < 0);
        std::printf("none\n");
    } else if (cmd == "close") {
        PostMessageW(Find().window, WM_CLOSE, 0, 0);
        std::printf("ok\n");
    } else if (cmd == "picture-point") {
        const Controls c = Find();
        const ql::FormControl* picture = ql::FindFormControl(ql::FormItem::图片框2);
        const ql::Rect r = ql::RectInWindow(*picture);
        POINT centre = {r.left + r.width / 2, r.top + r.height / 2};
        ClientToScreen(c.window, &centre);
        std::printf("%ld %ld\n", centre.x, centre.y);
    } else if (cmd == "cursor") {
        CURSORINFO info = {};
        info.cbSize = sizeof info;
        if (!GetCursorInfo(&info)) {
            std::printf("error no cursor information\n");
            return 2;
        }
        std::printf("cursor %llx\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(info.hCursor)));
    } else {
        std::printf("error unknown command %s\n", cmd.c_str());
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return ql::test::ProbeMain(argc, argv, Run); }
