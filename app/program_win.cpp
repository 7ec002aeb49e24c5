#include "app/program.h"

#include <objidl.h>

#include <gdiplus.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "resolve/actions.h"
#include "resolve/service.h"
#include "service/server/own_service_win.h"
#include "ui/skin_win.h"

namespace ql {

namespace {

// A program-wide object of a subsystem: created before the main window is loaded, released
// by the end-of-program routine.
struct ProgramWideObject {
    void (*create)();
    void (*release)();
};

// In creation order, which is also the order of release.
const std::vector<ProgramWideObject>& ProgramWideObjects() {
    static const std::vector<ProgramWideObject> objects = {
        {CreateGlobals, DestroyGlobals},  // the window skin's state
    };
    return objects;
}

// Program-wide plain values: 0 until set.
ULONG_PTR g_gdiplusToken = 0;
bool g_objectsCreated = false;
bool g_endRegistered = false;
bool g_endRan = false;

// The end-of-program routine. Registered with the runtime's exit hook, so it runs once on
// every orderly exit: std::exit after the message loop, and EndProgram from inside a handler.
// The debug line is its one trace: invisible without a debugger, and what the exit tests
// count (under Wine with WINEDEBUG=+debugstr); it reads nothing and writes no file.
void EndOfProgram() {
    if (g_endRan) {
        return;
    }
    g_endRan = true;
    // Before the process ends: no service process may be caught between its creation and
    // its job.
    service::EndOwnService();
    if (g_objectsCreated) {
        for (const ProgramWideObject& object : ProgramWideObjects()) {
            object.release();
        }
    }
    OutputDebugStringW(L"qinglan: end of program\n");
}

void CreateProgramWideObjects() {
    if (g_objectsCreated) {
        return;
    }
    for (const ProgramWideObject& object : ProgramWideObjects()) {
        object.create();
    }
    g_objectsCreated = true;
}

// The exit code the process ends with: the argument of the one std::exit call.
int g_exitCode = 0;

// The last of the exit hooks, after the end-of-program routine: ends the process without
// unloading the system libraries. A component's thread that the program gave up on (an
// XMLHTTP fetch still waiting for its answer when the window is closed, say) may be inside the
// loader when the exit stops it; unloading the libraries then waits for the loader forever,
// and a process whose window is gone never ends.
void EndWithoutUnloading() { TerminateProcess(GetCurrentProcess(), static_cast<UINT>(g_exitCode)); }

void RegisterEndOfProgram() {
    if (!g_endRegistered) {
        // Exit hooks run in the reverse order of registration.
        g_endRegistered = std::atexit(EndWithoutUnloading) == 0 && std::atexit(EndOfProgram) == 0;
    }
}

[[noreturn]] void ExitWith(int code) {
    g_exitCode = code;
    std::exit(code);
}

}  // namespace

void StartGdiPlus() {
    if (g_gdiplusToken != 0) {
        return;
    }
    Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback, background thread, codecs
    input.GdiplusVersion = 1;
    input.DebugEventCallback = nullptr;
    input.SuppressBackgroundThread = FALSE;
    input.SuppressExternalCodecs = FALSE;
    Gdiplus::GdiplusStartup(&g_gdiplusToken, &input, nullptr);
}

HWND StartProgram(const BindingTable& bindings) {
    CreateProgramWideObjects();
    RegisterEndOfProgram();
    StartGdiPlus();
    return CreateMainWindow(bindings);
}

void RunProgram(const BindingTable& bindings) {
    if (!StartProgram(bindings)) {
        // Without its window the program can do nothing; say so in the exit code rather than
        // report success.
        ExitWith(1);
    }
    bool serviceStarted = !ParseServiceServedByProgram();
    MSG msg;
    for (;;) {
        // The program's own service starts behind the window, which never waits for it, once
        // the window has painted and its queue is empty for the first time: the start of the
        // service's process would otherwise compete with the first paint.
        if (!serviceStarted && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            serviceStarted = true;
            std::thread([]() noexcept { ServeOwnService(); }).detach();
        }
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
            break;
        }
        // Tab moves between the address box, the button and the list.
        HWND window = MainWindowHandle();
        if (window && IsDialogMessageW(window, &msg)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    ExitWith(0);
}

void ProgramStart() { RunProgram(MainWindowBindings()); }

void EndProgram() { ExitWith(0); }

}  // namespace ql
