// The window skin's drawing cost and the program's start-up, under Wine.
//
// In the real skinned main window (made by the program's own start-up in this process): the
// median time of a full paint (PaintSkin) and of one button redraw (DrawImageButton), 1,000
// each, beside a bare BitBlt of a window-sized memory bitmap to the window. Then, in fresh
// processes: the time from process start to the end of the first skinned paint of the real
// program, beside a minimal Win32 window program's first paint (both built in this build, run
// alternately; each child reports its own figure in microseconds as its exit code).
//
//   skin_bench.exe       (needs skin_first_paint.exe and minimal_window.exe beside it)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/bindings.h"
#include "app/program.h"
#include "base/owned_win.h"
#include "bench/bench_clock_win.h"
#include "ui/skin_win.h"

namespace {

using ql::bench::Median;

// Milliseconds.
double Now() { return ql::bench::NowSeconds() * 1000.0; }

void Pump(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    }
}

// Median milliseconds of `n` runs of `step`.
double Time(int n, const std::function<void()>& step) {
    std::vector<double> times;
    for (int i = 0; i < n; ++i) {
        const double t = Now();
        step();
        times.push_back(Now() - t);
    }
    return Median(times);
}

std::wstring Beside(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.find_last_of(L"\\/") + 1) + name;
}

struct StartFigure {
    double total = -1;  // ms from the process's start to the end of its first paint
    double skin = 0;    // ms of that from the window's creation event on
};

// The child's figures, from its exit code (two 16-bit counts of 100 microseconds).
StartFigure ChildFigure(const std::wstring& program) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring line = L"\"" + program + L"\"";
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        return {};
    }
    const ql::UniqueKernelHandle thread(pi.hThread);
    const ql::UniqueKernelHandle process(pi.hProcess);
    DWORD code = 0;
    if (WaitForSingleObject(process.get(), 30000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.get(), &code);
    } else {
        TerminateProcess(process.get(), 1);
    }
    if (code <= 0xFFFF) {
        return {};
    }
    return {(code >> 16) / 10.0, (code & 0xFFFF) / 10.0};
}

}  // namespace

int main() {
    HWND window = ql::StartProgram(ql::MainWindowBindings());
    const ql::WindowSkin* skin = ql::TheWindowSkin();
    if (!window || !skin) {
        std::printf("the skinned main window could not be made\n");
        return 1;
    }
    Pump(300);
    const int w = skin->windowSize.width;
    const int h = skin->windowSize.height;
    constexpr int kRuns = 1000;
    const double paint = Time(kRuns, [&] { ql::PaintSkin(window); });
    const double button = Time(kRuns, [] { ql::DrawImageButton(1, 0, false); });
    double blit = 0;
    {
        ql::WindowDc screen(window);
        ql::OwnedDc memory(CreateCompatibleDC(screen.get()));
        ql::OwnedBitmap bitmap(CreateCompatibleBitmap(screen.get(), w, h));
        ql::Selection selected(memory.get(), bitmap.get());
        blit = Time(kRuns, [&] { BitBlt(screen.get(), 0, 0, w, h, memory.get(), 0, 0, SRCCOPY); });
    }
    DestroyWindow(window);
    Pump(100);

    std::printf("drawing, median of %d each (window %d x %d):\n", kRuns, w, h);
    std::printf("  full paint (PaintSkin)               %8.3f ms\n", paint);
    std::printf("  one button redraw (DrawImageButton)  %8.3f ms   %.2f of a full paint (goal: at most 0.20)\n", button,
                paint > 0 ? button / paint : 0.0);
    std::printf("  bare BitBlt of a window-sized bitmap %8.3f ms\n", blit);

    constexpr int kStarts = 15;
    std::vector<double> skinned, skinShare, minimal;
    const std::wstring skinnedProgram = Beside(L"skin_first_paint.exe");
    const std::wstring minimalProgram = Beside(L"minimal_window.exe");
    for (int i = 0; i < kStarts; ++i) {
        const StartFigure s = ChildFigure(skinnedProgram);
        const StartFigure m = ChildFigure(minimalProgram);
        if (s.total > 0) {
            skinned.push_back(s.total);
            skinShare.push_back(s.skin);
        }
        if (m.total > 0) {
            minimal.push_back(m.total);
        }
    }
    const double s = Median(skinned);
    const double m = Median(minimal);
    std::printf("process start to first paint, median of %zu and %zu runs:\n", skinned.size(), minimal.size());
    std::printf("  the program, first skinned paint     %8.1f ms   %.2f x the minimal window's (goal: at most 1.5)\n",
                s, m > 0 ? s / m : 0.0);
    std::printf("    of which the skin's set-up and first paint %6.1f ms\n", Median(skinShare));
    std::printf("  a minimal Win32 window, first paint  %8.1f ms\n", m);
    return 0;
}
