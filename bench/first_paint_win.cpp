// Process start to the end of the first paint, reported as the exit code (skin_bench runs
// this): the high 16 bits are that time, the low 16 bits the part of it from the window's
// creation event to the end of the paint (the skin's set-up and first paint), both in units
// of 100 microseconds. It makes three programs: the real program (its own start-up and
// bindings, with one more handler on the window's creation that watches for the first paint
// after the skin is in place), the same with the service on the benchmark's own port
// (service_first_paint, which service_bench runs) and, with QL_MINIMAL_WINDOW, a minimal
// Win32 window.
#include <windows.h>

#ifndef QL_MINIMAL_WINDOW
#include "app/bindings.h"
#include "app/main_window.h"
#include "app/program.h"
#endif

namespace {

// Microseconds since this process was created.
UINT Elapsed() {
    FILETIME created, exited, kernel, user, now;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    GetSystemTimePreciseAsFileTime(&now);
    const auto ticks = [](const FILETIME& f) {
        return static_cast<long long>(f.dwHighDateTime) << 32 | f.dwLowDateTime;
    };
    return static_cast<UINT>((ticks(now) - ticks(created)) / 10);
}

WNDPROC g_painter = nullptr;
UINT g_created = 0;

UINT Report(UINT end) {
    const auto units = [](UINT us) { return us / 100 > 0xFFFF ? 0xFFFFu : us / 100; };
    return units(end) << 16 | (g_created ? units(end - g_created) : 0);
}

LRESULT CALLBACK FirstPaint(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        if (g_painter) {
            CallWindowProcW(g_painter, window, message, wParam, lParam);
        } else {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            EndPaint(window, &ps);
        }
        GdiFlush();
        ExitProcess(Report(Elapsed()));
    }
    return g_painter ? CallWindowProcW(g_painter, window, message, wParam, lParam)
                     : DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
#ifdef QL_MINIMAL_WINDOW
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = FirstPaint;
    wc.hInstance = instance;
    wc.lpszClassName = L"MinimalWindow";
    RegisterClassExW(&wc);
    HWND window = CreateWindowExW(WS_EX_APPWINDOW, wc.lpszClassName, L"minimal", WS_POPUP, 50, 50, 430, 367, nullptr,
                                  nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOW);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageW(&msg);
    }
    return 1;
#else
    (void)instance;
    ql::BindingTable bindings = {{ql::FormItem::MainWindow, ql::FormEvent::Created, [] { g_created = Elapsed(); }}};
    for (const ql::Binding& b : ql::MainWindowBindings()) {
        bindings.push_back(b);
    }
    // After the skin's set-up (bindings run in table order): the skin's procedure is in place.
    bindings.push_back({ql::FormItem::MainWindow, ql::FormEvent::Created, [] {
                            HWND window = ql::MainWindowHandle();
                            g_painter = reinterpret_cast<WNDPROC>(
                                SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FirstPaint)));
                        }});
    ql::RunProgram(bindings);
#endif
}
