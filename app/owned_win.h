// Owned window-system and GDI handles, one line per handle type, on the program's one owner
// template (text/owned_win.h).
#pragma once

#ifdef _WIN32

#include <windows.h>

#include "text/owned_win.h"

namespace ql {

inline void DeleteGdiObject(HGDIOBJ object) noexcept {
    DeleteObject(object);
}

using OwnedFont = UniqueHandle<HFONT, DeleteGdiObject>;
using OwnedBrush = UniqueHandle<HBRUSH, DeleteGdiObject>;
using OwnedBitmap = UniqueHandle<HBITMAP, DeleteGdiObject>;
using OwnedIcon = UniqueHandle<HICON, DestroyIcon>;
using OwnedMenu = UniqueHandle<HMENU, DestroyMenu>;
using OwnedDc = UniqueHandle<HDC, DeleteDC>;

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
