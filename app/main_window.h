// The main window: created from the form tables of app/form.h, its events routed through a
// binding table. There is one main window at a time; the program's routines reach it and its
// controls through the accessors below.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include "app/bindings.h"
#include "app/form.h"
#include "app/routing.h"  // MenuCommandId, for whoever drives the menu

namespace ql {

// Creates the window and its controls in creation order, shows it, then raises its Created
// event. `bindings` is copied. Returns the window, or null when it could not be created (or a
// main window exists already). Needs GDI+ started for the logo (StartGdiPlus).
HWND CreateMainWindow(const BindingTable& bindings);

// The main window while it exists; null before it is created and after it is destroyed.
HWND MainWindowHandle();

// A control of the main window by its form name (the window itself for MainWindow); null for
// 菜单 and its items, and when there is no main window.
HWND MainWindowControl(FormItem item);

// 菜单, the list's pop-up menu; null when there is no main window.
HMENU MainWindowMenu();

// The list's right-click handler: pops 菜单 up at the mouse pointer, owned by the main window,
// and returns when it closes; a chosen item raises its Selected event first.
void ShowListMenu();

}  // namespace ql

#endif
