// Replaces a window's procedure and clips the window to a region. The hook keeps the
// procedure it replaced (every message is handed on to it) and the paint record of the
// paint in progress. It does not put the old procedure back: the hooked window lives until
// the program ends.
#pragma once

#ifdef _WIN32

#include <windows.h>

namespace ql {

class WindowHook {
public:
    WindowHook() = default;
    WindowHook(const WindowHook&) = delete;
    WindowHook& operator=(const WindowHook&) = delete;

    // Makes `procedure` the window's procedure (the window is a Unicode window, so through
    // the wide entry points). Without a procedure it only keeps the window.
    bool Subclass(HWND window, WNDPROC procedure);
    // The replaced procedure's answer to the message; 0 (and a logged message) when nothing
    // was replaced.
    LRESULT CallPrevious(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HDC BeginPaint(HWND window);
    void EndPaint(HWND window);
    // Clips the window to a rectangle from (x, y), w × h, with rounded corners; the region
    // then belongs to the system.
    bool SetRoundRectRegion(int x, int y, int w, int h, int ellipseWidth, int ellipseHeight, bool redraw = true);

private:
    WNDPROC previousProcedure_ = nullptr;
    HWND window_ = nullptr;
    bool hooked_ = false;
    PAINTSTRUCT paint_{};
};

}  // namespace ql

#endif
