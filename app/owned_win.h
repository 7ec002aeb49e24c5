// One owner per handle: a move-only holder that releases its handle with the routine given
// as the second template argument, once, when it goes away.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <utility>

namespace ql {

template <class Handle, auto Release>
class Owned {
public:
    Owned() = default;
    explicit Owned(Handle h) noexcept : h_(h) {}
    ~Owned() { reset(); }
    Owned(Owned&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.h_, nullptr));
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != nullptr; }
    void reset(Handle h = nullptr) noexcept {
        if (h_) {
            Release(h_);
        }
        h_ = h;
    }

private:
    Handle h_ = nullptr;
};

inline void DeleteGdiObject(HGDIOBJ object) noexcept {
    DeleteObject(object);
}

using OwnedFont = Owned<HFONT, DeleteGdiObject>;
using OwnedBrush = Owned<HBRUSH, DeleteGdiObject>;
using OwnedBitmap = Owned<HBITMAP, DeleteGdiObject>;
using OwnedIcon = Owned<HICON, DestroyIcon>;
using OwnedMenu = Owned<HMENU, DestroyMenu>;
using OwnedDc = Owned<HDC, DeleteDC>;

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

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace ql

#endif
