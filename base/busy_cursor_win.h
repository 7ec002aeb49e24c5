// The pointer while a fetch runs. The program's waits for the network keep its windows
// working, so the pointer says "working in the background" (IDC_APPSTARTING) rather than
// "wait": the window still takes input meanwhile.
#pragma once

#ifdef _WIN32

#include <windows.h>

namespace ql {

namespace busy_cursor_detail {
// Fetches under way on the user-interface thread (waits nest: a second fetch can start inside
// the first one's wait). Only that thread touches it.
inline int g_fetchesRunning = 0;
}  // namespace busy_cursor_detail

inline bool FetchRunning() { return busy_cursor_detail::g_fetchesRunning > 0; }

// Gives the pointer the shape that the window under it asks for now, when that window is one
// of this thread's: the shape changes at the start and end of a fetch, not only at the next
// move of the mouse.
inline void RefreshPointerShape() {
    POINT at;
    if (!GetCursorPos(&at)) {
        return;
    }
    HWND under = WindowFromPoint(at);
    if (!under || GetWindowThreadProcessId(under, nullptr) != GetCurrentThreadId()) {
        return;
    }
    const LPARAM point = MAKELPARAM(static_cast<WORD>(at.x), static_cast<WORD>(at.y));
    const LRESULT hit = SendMessageW(under, WM_NCHITTEST, 0, point);
    SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                 MAKELPARAM(static_cast<WORD>(hit), WM_MOUSEMOVE));
}

// Marks a fetch as running for as long as it lives.
class BusyCursorScope {
public:
    BusyCursorScope() noexcept {
        ++busy_cursor_detail::g_fetchesRunning;
        RefreshPointerShape();
    }
    ~BusyCursorScope() {
        --busy_cursor_detail::g_fetchesRunning;
        RefreshPointerShape();
    }
    BusyCursorScope(const BusyCursorScope&) = delete;
    BusyCursorScope& operator=(const BusyCursorScope&) = delete;
};

// For a top-level window's WM_SETCURSOR (its child controls ask it first): while a fetch runs
// sets the background-work pointer and returns true, and the message is then handled.
inline bool ShowBusyPointerWhileFetching() {
    if (!FetchRunning()) {
        return false;
    }
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32650) /* IDC_APPSTARTING */));
    return true;
}

}  // namespace ql

#endif
