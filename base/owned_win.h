// Owned system objects: one move-only owner template for every kind of handle the program
// opens, and one line per handle type below. Nothing else in the program closes, frees or
// releases a system object by hand.
//
// An owner closes its object when it goes out of scope, so every path out of a routine
// closes what the routine opened, in the reverse order of opening.
#pragma once

#ifdef _WIN32

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>
#include <wininet.h>

#include <bcrypt.h>  // after windows.h, whose types it uses

#include <string>
#include <utility>

namespace ql {

// `Invalid` is the value that holds nothing: nullptr for pointers and most handles, another
// value for kinds such as sockets (INVALID_SOCKET).
template <class Handle, auto Close, auto Invalid = nullptr>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Handle(Invalid); }

    Handle release() noexcept {
        Handle handle = handle_;
        handle_ = Handle(Invalid);
        return handle;
    }
    // Closes the handle now (and takes `handle` in its place).
    void reset(Handle handle = Handle(Invalid)) noexcept {
        if (handle_ != Handle(Invalid)) {
            Close(handle_);
        }
        handle_ = handle;
    }
    // For a call that creates the object into an out-parameter: closes what is held first.
    Handle* put() noexcept {
        reset();
        return &handle_;
    }

private:
    Handle handle_ = Handle(Invalid);
};

// Kernel and Internet handles.
using UniqueKernelHandle = UniqueHandle<HANDLE, &::CloseHandle>;
using UniqueInternetHandle = UniqueHandle<HINTERNET, &::InternetCloseHandle>;
// Memory the system hands out from the local heap (CommandLineToArgvW's array).
inline void FreeLocal(void* memory) noexcept { LocalFree(memory); }
using UniqueLocalArgv = UniqueHandle<LPWSTR*, FreeLocal>;
// This process's environment block, as GetEnvironmentStringsW hands it out.
using UniqueEnvironmentStrings = UniqueHandle<LPWCH, &::FreeEnvironmentStringsW>;

// The system's cryptography (CNG): an algorithm provider and a hash made with it.
inline void CloseHashAlgorithm(BCRYPT_ALG_HANDLE algorithm) noexcept { BCryptCloseAlgorithmProvider(algorithm, 0); }
using UniqueHashAlgorithm = UniqueHandle<BCRYPT_ALG_HANDLE, CloseHashAlgorithm>;
using UniqueHash = UniqueHandle<BCRYPT_HASH_HANDLE, &::BCryptDestroyHash>;

// Window-system and GDI objects.
inline void DeleteGdiObject(HGDIOBJ object) noexcept { DeleteObject(object); }
using OwnedFont = UniqueHandle<HFONT, DeleteGdiObject>;
using OwnedBrush = UniqueHandle<HBRUSH, DeleteGdiObject>;
using OwnedBitmap = UniqueHandle<HBITMAP, DeleteGdiObject>;
using OwnedRegion = UniqueHandle<HRGN, DeleteGdiObject>;
using OwnedIcon = UniqueHandle<HICON, DestroyIcon>;
using OwnedMenu = UniqueHandle<HMENU, DestroyMenu>;
using OwnedDc = UniqueHandle<HDC, DeleteDC>;

// A window's device context from GetDC, given back to the window that owns it. The owner
// form, for a device context handed from one holder to another.
inline void ReleaseWindowDc(HDC dc) noexcept { ReleaseDC(WindowFromDC(dc), dc); }
using UniqueWindowDc = UniqueHandle<HDC, ReleaseWindowDc>;

// A device context borrowed from a window with GetDC, given back with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_ != nullptr) {
            ReleaseDC(window_, dc_);
        }
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a device context and puts the previous one back.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~Selection() {
        if (previous_) {
            SelectObject(dc_, previous_);
        }
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    // False when the selection failed (nothing to put back).
    bool selected() const noexcept { return previous_ != nullptr; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A file on disk that is deleted when the scope ends, unless it has been kept (a file
// being written under a temporary name, say).
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile() {
        if (!path_.empty()) {
            DeleteFileW(path_.c_str());
        }
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    void Track(std::wstring path) { path_ = std::move(path); }
    const std::wstring& path() const { return path_; }
    void Keep() { path_.clear(); }

private:
    std::wstring path_;
};

// Global memory, and its lock for the length of one copy.
using UniqueGlobal = UniqueHandle<HGLOBAL, &::GlobalFree>;

class GlobalLockScope {
public:
    explicit GlobalLockScope(HGLOBAL block) noexcept : block_(block), data_(GlobalLock(block)) {}
    ~GlobalLockScope() {
        if (data_ != nullptr) {
            GlobalUnlock(block_);
        }
    }
    GlobalLockScope(const GlobalLockScope&) = delete;
    GlobalLockScope& operator=(const GlobalLockScope&) = delete;
    void* data() const noexcept { return data_; }

private:
    HGLOBAL block_;
    void* data_;
};

// The clipboard, open for the length of one scope.
class ClipboardScope {
public:
    explicit ClipboardScope(HWND owner) noexcept : open_(OpenClipboard(owner) != FALSE) {}
    ~ClipboardScope() {
        if (open_) {
            CloseClipboard();
        }
    }
    ClipboardScope(const ClipboardScope&) = delete;
    ClipboardScope& operator=(const ClipboardScope&) = delete;
    bool open() const noexcept { return open_; }

private:
    bool open_;
};

// COM: interface pointers, strings and variants.
inline void ReleaseComObject(IUnknown* object) noexcept { object->Release(); }
template <class Interface>
using ComPtr = UniqueHandle<Interface*, ReleaseComObject>;

using UniqueBstr = UniqueHandle<BSTR, &::SysFreeString>;

class UniqueVariant {
public:
    UniqueVariant() noexcept { VariantInit(&value_); }
    ~UniqueVariant() { VariantClear(&value_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    VARIANT* get() noexcept { return &value_; }

private:
    VARIANT value_;
};

// The data of a safe array, accessed for the length of one scope.
class SafeArrayAccess {
public:
    explicit SafeArrayAccess(SAFEARRAY* array) noexcept : array_(array) {
        if (FAILED(SafeArrayAccessData(array_, &data_))) {
            data_ = nullptr;
        }
    }
    ~SafeArrayAccess() {
        if (data_ != nullptr) {
            SafeArrayUnaccessData(array_);
        }
    }
    SafeArrayAccess(const SafeArrayAccess&) = delete;
    SafeArrayAccess& operator=(const SafeArrayAccess&) = delete;
    const void* data() const noexcept { return data_; }

private:
    SAFEARRAY* array_;
    void* data_ = nullptr;
};

// COM for the calling thread for the length of one operation, balanced on every path.
// Start-up may already have put the thread into an apartment: the call then only counts up
// and down. A thread in the multithreaded apartment (RPC_E_CHANGED_MODE here) can still use
// the components, but must not be uninitialised by us.
class ComScope {
public:
    ComScope() noexcept : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) {
            CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT hr_;
};

}  // namespace ql

#endif
