#include "resolve/shell.h"

#include <shellapi.h>

#include <cstring>
#include <string>

#include "resolve/com_scope_win.h"
#include "text/wide.h"

namespace ql {

void OpenAddress(const Text& address) {
    // The shell would take an empty name for the working folder and open that.
    if (address.empty()) {
        return;
    }
    // The shell may hand the address to an extension, which needs COM on this thread.
    ComScope com;
    ShellExecuteW(nullptr, L"open", WideFromGbk(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

namespace {

// Global memory handed to the clipboard on success, freed here otherwise.
class ClipboardBlock {
public:
    ClipboardBlock(const void* data, std::size_t size) : h_(GlobalAlloc(GMEM_MOVEABLE, size)) {
        if (h_ == nullptr) {
            return;
        }
        void* p = GlobalLock(h_);
        if (p == nullptr) {
            GlobalFree(h_);
            h_ = nullptr;
            return;
        }
        std::memcpy(p, data, size);
        GlobalUnlock(h_);
    }
    ~ClipboardBlock() {
        if (h_ != nullptr) {
            GlobalFree(h_);
        }
    }
    ClipboardBlock(const ClipboardBlock&) = delete;
    ClipboardBlock& operator=(const ClipboardBlock&) = delete;

    void HandTo(UINT format) {
        if (h_ != nullptr && SetClipboardData(format, h_) != nullptr) {
            h_ = nullptr;  // the clipboard owns it now
        }
    }

private:
    HGLOBAL h_;
};

// Another program may hold the clipboard open for a moment; wait a little, never long.
bool OpenClipboardBriefly(HWND owner) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (OpenClipboard(owner)) {
            return true;
        }
        Sleep(10);
    }
    return false;
}

}  // namespace

void PutTextOnClipboard(HWND owner, const Text& text) {
    if (!OpenClipboardBriefly(owner)) {
        return;
    }
    EmptyClipboard();
    const std::wstring wide = WideFromGbk(text);
    ClipboardBlock unicode(wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    unicode.HandTo(CF_UNICODETEXT);
    ClipboardBlock ansi(text.c_str(), text.size() + 1);
    ansi.HandTo(CF_TEXT);
    const LCID chinese = MAKELCID(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), SORT_DEFAULT);
    ClipboardBlock locale(&chinese, sizeof chinese);
    locale.HandTo(CF_LOCALE);
    CloseClipboard();
}

}  // namespace ql
