#include "graphics/window_hook_win.h"

#include "base/owned_win.h"
#include "graphics/drawing_log.h"

namespace ql {

bool WindowHook::Subclass(HWND window, WNDPROC procedure) {
    window_ = window;
    hooked_ = false;
    if (procedure) {
        hooked_ = true;
        // GWL_WNDPROC does not exist in a 64-bit program; a narrow procedure on this Unicode
        // window would garble every text that passes through it.
        previousProcedure_ =
            reinterpret_cast<WNDPROC>(SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
        if (!previousProcedure_) {
            hooked_ = false;
            ReplaceDrawingError(drawing_error::kSubclass);
            return false;
        }
    }
    return true;
}

LRESULT WindowHook::CallPrevious(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!hooked_ || !previousProcedure_) {
        ReplaceDrawingError(drawing_error::kNoHook);
        return 0;
    }
    return CallWindowProcW(previousProcedure_, window, message, wParam, lParam);
}

HDC WindowHook::BeginPaint(HWND window) { return ::BeginPaint(window, &paint_); }

void WindowHook::EndPaint(HWND window) { ::EndPaint(window, &paint_); }

bool WindowHook::SetRoundRectRegion(int x, int y, int w, int h, int ellipseWidth, int ellipseHeight, bool redraw) {
    OwnedRegion region(CreateRoundRectRgn(x, y, x + w, y + h, ellipseWidth, ellipseHeight));
    if (!region) {
        AppendDrawingError(drawing_error::kRoundRectRegion);
        return false;
    }
    if (!SetWindowRgn(window_, region.get(), redraw ? TRUE : FALSE)) {
        AppendDrawingError(drawing_error::kSetRegion);
        return false;  // the region is deleted on the way out
    }
    region.release();  // the system's now
    return true;
}

}  // namespace ql
