// What the window probe needs to reach the program's main window from outside: finding the
// window of one running copy and its controls, memory in the program's process for list
// messages whose arguments are pointers, and the clipboard.
#pragma once

#include <windows.h>

#include <string>

#include "base/owned_win.h"

namespace ql::test {

// Bytes from hex ("-": none).
std::string Unhex(const char* hex);

// The window the probe's commands address: the one chosen with "use" while it exists, else
// the topmost main window.
extern HWND chosen;
HWND MainWindow();
// EnumWindows callback collecting the shown main windows of every copy into a
// std::vector<HWND> passed as `param`.
BOOL CALLBACK CollectMainWindow(HWND window, LPARAM param);

struct Controls {
    HWND window = nullptr, edit = nullptr, list = nullptr, button = nullptr;
};
// The main window and its controls; ends the probe with "error …" when any is missing.
Controls Find();

// Memory in the program's process, for list messages whose arguments are pointers.
class Remote {
public:
    Remote(HWND window, std::size_t size);
    ~Remote();
    Remote(const Remote&) = delete;
    Remote& operator=(const Remote&) = delete;
    char* at(std::size_t offset) const { return static_cast<char*>(base_) + offset; }
    void Write(std::size_t offset, const void* data, std::size_t n);
    void Read(std::size_t offset, void* data, std::size_t n);

private:
    UniqueKernelHandle process_;
    void* base_ = nullptr;  // freed with the process handle still open
};

constexpr int kTextChars = 8192;

// The clipboard is open only for a moment at a time, by the program or by Wine's X11 driver
// answering another program: it is tried for up to two seconds.
bool OpenClipboardSoon(HWND owner);
// Row `row` of the list as GBK.
std::string RowText(HWND list, Remote& mem, int row);
// A clipboard format's text as GBK, or "<none>".
std::string ClipboardFormat(UINT format);

}  // namespace ql::test
