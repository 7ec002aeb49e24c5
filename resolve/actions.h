// The main action and the two list actions, bound to the main window's controls:
// 超级按钮1 → ResolveAndList, menu "下载" → OpenSelectedAddress, menu "复制" →
// CopySelectedAddress. They run on the user-interface thread and report nothing.
#pragma once

#ifdef _WIN32

#include <windows.h>

namespace ql {

// Sends the address typed into `addressBox` (编辑框1) to the parse service and shows the
// media addresses of its reply in `resultList` (超级列表框1), replacing every earlier row.
// Waits for the service on this thread, at most ParseServiceTimeLimitMs (then the list is
// emptied), handling the window's messages meanwhile; a call made during that wait (the
// button pressed again) does nothing.
void ResolveAndList(HWND addressBox, HWND resultList);

// Takes up the program's own service (service/own_service_win.h) when the program serves its
// compiled-in address: at start-up, on a thread of its own, and before each query, which then
// waits until a service process it has started listens.
void ServeOwnService();

// Puts the selected row's text on the clipboard; nothing without a selected row.
void CopySelectedAddress(HWND resultList);

// Opens the selected row's text with the shell (the browser) when it is an http or https
// address; nothing without a selected row, and nothing for any other text.
void OpenSelectedAddress(HWND resultList);

}  // namespace ql

#endif
