// Thread entry points that let no exception out: one escaping a thread's routine would end
// the whole process (std::terminate), and the system that called the routine cannot take it.
#pragma once

#ifdef _WIN32

#include <windows.h>

namespace ql {

// The exit code of a thread whose routine ended by an exception.
inline constexpr DWORD kThreadEndedByException = 0xE0000001;

// A thread entry point (LPTHREAD_START_ROUTINE) that runs `Routine(param)` and returns its
// exit code; an exception that escapes the routine ends the thread with
// kThreadEndedByException instead. The routine owns whatever `param` hands it, so the
// unwinding releases it.
template <DWORD (*Routine)(void*)>
DWORD WINAPI GuardedThreadEntry(void* param) noexcept {
    try {
        return Routine(param);
    } catch (...) {
        return kThreadEndedByException;
    }
}

}  // namespace ql

#endif
