// What the main window's source files share: its state, and what each part offers the
// others (the painting, the building of the controls, the routing of events). Only the
// main window's own files include it.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <array>
#include <vector>

#include "app/bindings.h"
#include "app/form.h"
#include "base/owned_win.h"

namespace ql::main_window {

inline constexpr int kItemCount = static_cast<int>(FormItem::菜单_复制) + 1;
// Control identifiers. They stay clear of IDOK (1) and IDCANCEL (2), which the dialog keyboard
// handling of the message loop sends for Enter and Escape, and of the menu's commands.
inline constexpr int kFirstControlId = 100;

inline int Index(FormItem item) { return static_cast<int>(item); }
inline HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

struct WindowState {
    BindingTable bindings;
    std::array<HWND, kItemCount> controls{};
    OwnedMenu menu;
    std::vector<OwnedFont> fonts;
    OwnedBrush lightBlue{CreateSolidBrush(kLightBlue)};
    OwnedBrush white{CreateSolidBrush(kWhite)};
    OwnedBitmap gear;
    OwnedBitmap logo;
    std::array<OwnedIcon, 3> icons;  // 图片框3, 图片框2, 图片框1
    HWND tooltip = nullptr;          // owned by the window: destroyed with it
    HWND lastFocus = nullptr;
};

// The one main window's state while the window exists; null before and after.
WindowState* State();

// The form element a control is; the window itself for anything else.
FormItem ItemOfControl(HWND control);

// Runs the routines bound to (item, event); nothing escapes from them.
void Raise(FormItem item, FormEvent event) noexcept;

// Painting (main_window_paint_win.cpp).
OwnedFont MakeFont(const FontSpec& spec);
OwnedBitmap DecodePicture(int resourceId);
// The icon slot of a picture box that shows an icon; -1 for the others.
int IconSlot(FormItem item);
void DrawPictureButton(const DRAWITEMSTRUCT& item);
void DrawPictureBox(const DRAWITEMSTRUCT& item);
// The answer to WM_CTLCOLOR…: the control's fill from the form, else `fallback`.
LRESULT OnControlColour(HWND control, HDC dc, LRESULT fallback);

// Building (main_window_controls_win.cpp): one control of the form, with its font, hint,
// pictures and subclass.
void CreateControl(HWND window, const FormControl& c);

}  // namespace ql::main_window

#endif
