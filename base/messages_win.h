// Processing the window messages that are waiting while a wait on this thread goes on.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <optional>

namespace ql {

// Dispatches the window messages that are waiting, then returns. A quit message is kept for
// the program's own message loop (the caller posts it again when its wait ends) and ends the
// processing.
inline void ProcessPendingMessages(std::optional<WPARAM>& quit) {
    MSG msg;
    while (!quit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = msg.wParam;
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace ql

#endif
