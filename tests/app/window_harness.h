// Helpers for the tests that create the real main window in this process (through the
// program's own start-up, without its message loop) and drive it with real input.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <ostream>
#include <string>

#include "app/bindings.h"
#include "app/main_window.h"
#include "app/program.h"

namespace ql {

// Failure messages name a form element by its number in creation order (0: the window).
inline void PrintTo(FormItem item, std::ostream* os) { *os << "FormItem(" << static_cast<int>(item) << ")"; }

}  // namespace ql

namespace ql::test {

// Pumps this thread's messages until `done` holds or `limitMs` has passed; true if it held.
inline bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 5000) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                continue;  // posted by a main window destroyed earlier; nothing here loops on it
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) {
            return true;
        }
        if (GetTickCount() - start > limitMs) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

inline void Pump(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

// The main window for one test, created through StartProgram and destroyed at the end.
class ScopedMainWindow {
public:
    explicit ScopedMainWindow(const BindingTable& bindings = MainWindowBindings()) : window_(StartProgram(bindings)) {
        Pump(150);  // the first paint
    }
    ~ScopedMainWindow() {
        if (IsWindow(window_)) {
            DestroyWindow(window_);
        }
        Pump(50);
    }
    ScopedMainWindow(const ScopedMainWindow&) = delete;
    ScopedMainWindow& operator=(const ScopedMainWindow&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_;
};

inline std::wstring WindowTextOf(HWND h) {
    wchar_t buffer[512] = {};
    GetWindowTextW(h, buffer, 512);
    return buffer;
}

inline std::wstring ClassOf(HWND h) {
    wchar_t buffer[128] = {};
    GetClassNameW(h, buffer, 128);
    return buffer;
}

// Real mouse input: the pointer moves to the screen point and the button goes down and/or up.
enum class Press { Down, Up, Click };
inline void MouseAt(POINT screen, bool right, Press press) {
    SetCursorPos(screen.x, screen.y);
    INPUT in[2] = {};
    int n = 0;
    if (press != Press::Up) {
        in[n].type = INPUT_MOUSE;
        in[n++].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    }
    if (press != Press::Down) {
        in[n].type = INPUT_MOUSE;
        in[n++].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    }
    SendInput(n, in, sizeof(INPUT));
}

inline POINT CentreOf(HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

inline int AppendRow(HWND list, const std::wstring& text) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<wchar_t*>(text.c_str());
    return static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

}  // namespace ql::test
