// Processing the window messages that are waiting while a wait on this thread goes on.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <cstdint>
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

// Waits for one of `handles` to be signalled while this thread's windows keep working: they
// repaint, take input and their handlers run. Gives the index of the first handle signalled
// within `limitMs`, or -1. Each wait is for the time that remains, so the limit holds to within
// a tick however often messages wake the wait; a handle signalled during the wait in which the
// limit is reached counts as too late. A quit message (the window was closed) ends the wait at
// once with -1: the program is ending, and nothing is left to show an answer to. The quit is
// kept in `quit` for the caller to post again.
inline int WaitForAnyWithMessages(const HANDLE* handles, DWORD count, std::int64_t limitMs,
                                  std::optional<WPARAM>& quit) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        const std::int64_t remaining = limitMs - static_cast<std::int64_t>(GetTickCount64() - start);
        const DWORD waitMs = remaining <= 0 ? 0 : remaining >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(remaining);
        // QS_ALLINPUT: messages sent from other threads are taken too, so no thread that
        // sends to this one's windows waits on this wait.
        const DWORD result = MsgWaitForMultipleObjects(count, handles, FALSE, waitMs, QS_ALLINPUT);
        const bool limitReached = static_cast<std::int64_t>(GetTickCount64() - start) >= limitMs;
        ProcessPendingMessages(quit);
        if (quit || limitReached || result == WAIT_TIMEOUT) {
            return -1;
        }
        if (result < WAIT_OBJECT_0 + count) {
            return static_cast<int>(result - WAIT_OBJECT_0);
        }
        if (result == WAIT_FAILED) {
            Sleep(1);  // not expected with valid handles; never spin
        }
    }
}

// The same for one thread's end: true when the thread ended within `limitMs`.
inline bool WaitForThreadWithMessages(HANDLE thread, std::int64_t limitMs, std::optional<WPARAM>& quit) {
    return WaitForAnyWithMessages(&thread, 1, limitMs, quit) == 0;
}

}  // namespace ql

#endif
