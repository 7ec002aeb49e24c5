#include "app/main_window.h"

#include <commctrl.h>

#include <memory>
#include <string>

#include "app/main_window_parts_win.h"
#include "app/resource_ids.h"
#include "app/routing.h"
#include "base/busy_cursor_win.h"
#include "graphics/stored_file_win.h"
#include "text/wide.h"

namespace ql {

static_assert(kButtonClickedCode == BN_CLICKED && kRightClickCode == static_cast<std::uint32_t>(NM_RCLICK) &&
                  kEnterCommandId == IDOK,
              "the routing reads the system's codes");

namespace main_window {

namespace {

constexpr wchar_t kWindowClass[] = L"QinglanMainWindow";

// Program-wide: the one main window and its state, which the window owns from its creation
// until WM_NCDESTROY.
HWND g_window = nullptr;
std::unique_ptr<WindowState> g_state;

// The window's colour; the group frames and the label let it show through.
LRESULT OnEraseBackground(HWND window, HDC dc) {
    RECT rc;
    GetClientRect(window, &rc);
    FillRect(dc, &rc, g_state->lightBlue.get());
    return 1;
}

LRESULT OnDrawItem(const DRAWITEMSTRUCT& item) {
    if (item.CtlType == ODT_BUTTON) {
        DrawPictureButton(item);
    } else if (item.CtlType == ODT_STATIC) {
        DrawPictureBox(item);
    }
    return TRUE;
}

void RaiseRouted(const WindowNotice& notice) {
    if (const std::optional<RoutedEvent> routed = RouteNotice(notice)) {
        Raise(routed->item, routed->event);
    }
}

LRESULT OnCommand(WPARAM wParam, LPARAM lParam) {
    WindowNotice notice;
    if (lParam != 0) {
        notice.kind = WindowNotice::Kind::ControlCommand;
        notice.from = ItemOfControl(reinterpret_cast<HWND>(lParam));
        notice.code = HIWORD(wParam);
    } else if (HIWORD(wParam) == 0) {
        notice.kind = WindowNotice::Kind::Command;
        notice.commandId = LOWORD(wParam);
        notice.addressBoxFocused = GetFocus() == g_state->controls[static_cast<std::size_t>(Index(FormItem::编辑框1))];
    } else {
        return 0;  // an accelerator: the window has none
    }
    RaiseRouted(notice);
    return 0;
}

LRESULT OnNotify(const NMHDR& header) {
    WindowNotice notice;
    notice.kind = WindowNotice::Kind::ControlNotify;
    notice.from = ItemOfControl(header.hwndFrom);
    notice.code = header.code;
    if (header.code == static_cast<UINT>(NM_RCLICK)) {
        notice.row = reinterpret_cast<const NMITEMACTIVATE&>(header).iItem;
    }
    RaiseRouted(notice);
    return 0;
}

// Keyboard focus comes back to the control that had it. True when the focus was set.
bool OnActivate(HWND window, WPARAM wParam) {
    if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(window, focus)) {
            g_state->lastFocus = focus;
        }
        return false;
    }
    HWND focus =
        g_state->lastFocus ? g_state->lastFocus : g_state->controls[static_cast<std::size_t>(Index(FormItem::编辑框1))];
    if (!focus || !IsWindow(focus)) return false;
    SetFocus(focus);
    return true;
}

// Each message goes to a handler of its own; what none handles, the system does.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (!g_state || window != g_window) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    switch (message) {
        case WM_ERASEBKGND:
            return OnEraseBackground(window, reinterpret_cast<HDC>(wParam));
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
            return OnControlColour(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam),
                                   DefWindowProcW(window, message, wParam, lParam));
        case WM_DRAWITEM:
            return OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        case WM_COMMAND:
            return OnCommand(wParam, lParam);
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
        case WM_ACTIVATE:
            if (OnActivate(window, wParam)) return 0;
            break;
        case WM_SETCURSOR:
            // While a fetch runs, over the window and every control on it.
            if (ShowBusyPointerWhileFetching()) return TRUE;
            break;
        case WM_DESTROY:
            // The program's only window: when it is gone, the message loop ends.
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            g_state.reset();
            g_window = nullptr;
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterWindowClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(Instance(), kWindowClass, &wc)) {
        return true;
    }
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = Instance();
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(kCursorArrow));
    wc.hIcon = static_cast<HICON>(
        LoadImageW(Instance(), MAKEINTRESOURCEW(QL_ICON_TITLE), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR | LR_SHARED));
    wc.hIconSm = static_cast<HICON>(
        LoadImageW(Instance(), MAKEINTRESOURCEW(QL_ICON_TITLE), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR | LR_SHARED));
    wc.lpszClassName = kWindowClass;
    return RegisterClassExW(&wc) != 0;
}

}  // namespace

WindowState* State() { return g_state.get(); }

FormItem ItemOfControl(HWND control) {
    if (State() && control) {
        for (int i = 0; i < kItemCount; ++i) {
            if (State()->controls[static_cast<std::size_t>(i)] == control) {
                return static_cast<FormItem>(i);
            }
        }
    }
    return FormItem::MainWindow;
}

// Runs the routines bound to (item, event). The routines are collected first: one of them may
// destroy the window, and with it the table.
void Raise(FormItem item, FormEvent event) noexcept {
    if (!State()) {
        return;
    }
    Handler due[8] = {};
    std::size_t n = 0;
    for (const Binding& b : State()->bindings) {
        if (b.item == item && b.event == event && b.handler && n < std::size(due)) {
            due[n++] = b.handler;
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        try {
            due[i]();
        } catch (...) {
            // Bound routines report nothing and do not throw; should one throw anyway, the
            // exception must not unwind through the system's window procedure.
        }
    }
    // The one trace of a handled event, invisible without a debugger: it tells whoever drives
    // the program from outside that the action has ended (so "nothing else happened" can be
    // checked at its end rather than after a guessed time).
    if (n > 0) {
        OutputDebugStringW(L"qinglan: action ended\n");
    }
}

}  // namespace main_window

using namespace main_window;

HWND CreateMainWindow(const BindingTable& bindings) {
    if (g_window) {
        return nullptr;
    }
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&classes);
    if (!RegisterWindowClass()) {
        return nullptr;
    }
    g_state = std::make_unique<WindowState>();
    g_state->bindings = bindings;

    const FormWindow& form = MainWindowForm();
    const std::wstring title = WideFromGbk(form.title);
    // No system title bar and no frame: the window's whole surface is its client area.
    HWND window = CreateWindowExW(WS_EX_APPWINDOW, kWindowClass, title.c_str(),
                                  WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS, form.left, form.top,
                                  form.width, form.height, nullptr, nullptr, Instance(), nullptr);
    if (!window) {
        g_state.reset();
        return nullptr;
    }
    g_window = window;
    g_state->controls[static_cast<std::size_t>(Index(FormItem::MainWindow))] = window;
    for (const FormControl& c : MainWindowControls()) {
        CreateControl(window, c);
    }
    // Shown, and painted first by the message loop: the created handler puts the skin in
    // place, so a paint before it would draw a window that is at once drawn over.
    ShowWindow(window, SW_SHOW);
    Raise(FormItem::MainWindow, FormEvent::Created);
    return g_window;
}

HWND MainWindowHandle() { return g_window; }

HWND MainWindowControl(FormItem item) {
    if (!g_state || Index(item) < 0 || Index(item) >= kItemCount) {
        return nullptr;
    }
    return g_state->controls[static_cast<std::size_t>(Index(item))];
}

HMENU MainWindowMenu() { return g_state ? g_state->menu.get() : nullptr; }

void ShowListMenu() {
    HWND window = g_window;
    HMENU menu = MainWindowMenu();
    if (!window || !menu) {
        return;
    }
    POINT at{};
    GetCursorPos(&at);
    const UINT chosen = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y,
                       0, window, nullptr));
    if (const std::optional<FormItem> item = MenuItemOfCommand(chosen)) {
        Raise(*item, FormEvent::Selected);
    }
}

}  // namespace ql
