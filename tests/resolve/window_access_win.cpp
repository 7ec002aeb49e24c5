#include "tests/resolve/window_access_win.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/probe_win.h"
#include "text/wide.h"

namespace ql::test {

std::string Unhex(const char* hex) {
    std::string out;
    if (std::strcmp(hex, "-") == 0) {
        return out;
    }
    for (std::size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
        const char pair[3] = {hex[i], hex[i + 1], 0};
        out.push_back(static_cast<char>(std::strtoul(pair, nullptr, 16)));
    }
    return out;
}

HWND chosen = nullptr;

HWND MainWindow() {
    if (chosen) {
        return IsWindow(chosen) && IsWindowVisible(chosen) ? chosen : nullptr;
    }
    return ql::test::FindMainWindow();
}

BOOL CALLBACK CollectMainWindow(HWND window, LPARAM param) {
    static const std::wstring title = WideFromGbk(ql::Text("青岚综合视频下载精灵 v1.0"));
    wchar_t text[64] = {};
    if (IsWindowVisible(window) && GetWindowTextW(window, text, 64) && title == text) {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    }
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
    auto* c = reinterpret_cast<Controls*>(param);
    wchar_t cls[64] = {};
    GetClassNameW(child, cls, 64);
    if (_wcsicmp(cls, L"Edit") == 0) {
        c->edit = child;
    } else if (_wcsicmp(cls, L"SysListView32") == 0) {
        c->list = child;
    } else if (_wcsicmp(cls, L"Button") == 0) {
        wchar_t text[64] = {};
        GetWindowTextW(child, text, 64);
        if (std::wcscmp(text, L"获取下载") == 0) {
            c->button = child;
        }
    }
    return TRUE;
}

Controls Find() {
    Controls c;
    c.window = MainWindow();
    if (c.window) {
        EnumChildWindows(c.window, CollectChild, reinterpret_cast<LPARAM>(&c));
    }
    if (!c.window || !c.edit || !c.list || !c.button) {
        std::printf("error main window or its controls not found\n");
        std::exit(2);
    }
    return c;
}

Remote::Remote(HWND window, std::size_t size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    process_.reset(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
    base_ = process_ ? VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT, PAGE_READWRITE) : nullptr;
    if (!base_) {
        std::printf("error no memory in the program's process\n");
        std::exit(2);
    }
}

Remote::~Remote() { VirtualFreeEx(process_.get(), base_, 0, MEM_RELEASE); }

void Remote::Write(std::size_t offset, const void* data, std::size_t n) {
    WriteProcessMemory(process_.get(), at(offset), data, n, nullptr);
}

void Remote::Read(std::size_t offset, void* data, std::size_t n) {
    ReadProcessMemory(process_.get(), at(offset), data, n, nullptr);
}

bool OpenClipboardSoon(HWND owner) {
    for (int tries = 0; tries < 100; ++tries) {
        if (OpenClipboard(owner)) {
            return true;
        }
        Sleep(20);
    }
    return false;
}

std::string RowText(HWND list, Remote& mem, int row) {
    LVITEMW item = {};
    item.iSubItem = 0;
    item.cchTextMax = kTextChars;
    item.pszText = reinterpret_cast<wchar_t*>(mem.at(sizeof(LVITEMW)));
    mem.Write(0, &item, sizeof item);
    const auto n =
        static_cast<std::size_t>(SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(mem.at(0))));
    std::wstring text(n, L'\0');
    mem.Read(sizeof(LVITEMW), text.data(), n * sizeof(wchar_t));
    return ql::GbkFromWide(text).str();
}

std::string ClipboardFormat(UINT format) {
    std::string out;
    if (HANDLE h = GetClipboardData(format)) {
        if (format == CF_UNICODETEXT) {
            out = ql::GbkFromWide(static_cast<const wchar_t*>(GlobalLock(h))).str();
        } else {
            out = static_cast<const char*>(GlobalLock(h));
        }
        GlobalUnlock(h);
    } else {
        out = "<none>";
    }
    return out;
}

}  // namespace ql::test
