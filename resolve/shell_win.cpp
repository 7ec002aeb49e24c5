#include "resolve/shell.h"

#include <shellapi.h>

#include <cstring>
#include <memory>
#include <string>

#include "base/owned_win.h"
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

// Global memory holding a copy of `size` bytes, or none when it cannot be had.
UniqueGlobal CopyToGlobal(const void* data, std::size_t size) {
    UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, size));
    if (!block) {
        return block;
    }
    GlobalLockScope lock(block.get());
    if (lock.data() == nullptr) {
        return UniqueGlobal();
    }
    std::memcpy(lock.data(), data, size);
    return block;
}

// On success the clipboard owns the block; otherwise it is freed here.
void HandToClipboard(UINT format, UniqueGlobal block) {
    if (block && SetClipboardData(format, block.get()) != nullptr) {
        block.release();
    }
}

// Another program may hold the clipboard open for a moment; wait a little, never long.
std::unique_ptr<ClipboardScope> OpenClipboardBriefly(HWND owner) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        auto clipboard = std::make_unique<ClipboardScope>(owner);
        if (clipboard->open()) {
            return clipboard;
        }
        Sleep(10);
    }
    return nullptr;
}

}  // namespace

void PutTextOnClipboard(HWND owner, const Text& text) {
    const auto clipboard = OpenClipboardBriefly(owner);
    if (!clipboard) {
        return;
    }
    EmptyClipboard();
    const std::wstring wide = WideFromGbk(text);
    HandToClipboard(CF_UNICODETEXT, CopyToGlobal(wide.c_str(), (wide.size() + 1) * sizeof(wchar_t)));
    HandToClipboard(CF_TEXT, CopyToGlobal(text.c_str(), text.size() + 1));
    const LCID chinese = MAKELCID(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), SORT_DEFAULT);
    HandToClipboard(CF_LOCALE, CopyToGlobal(&chinese, sizeof chinese));
}

}  // namespace ql
