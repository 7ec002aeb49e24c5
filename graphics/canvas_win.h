// A memory canvas: a bitmap the size of the picture in a memory device context compatible
// with a window's device context, and a GDI+ drawing surface on it. Everything is drawn off
// screen and reaches the window in one copy (CopyTo) or blend (BlendTo).
#pragma once

#ifdef _WIN32

#include <objidl.h>
#include <windows.h>

#include <gdiplus.h>

#include <optional>

#include "base/owned_gdiplus_win.h"
#include "base/owned_win.h"
#include "graphics/plus_win.h"
#include "text/text.h"

namespace ql {

class GdiCanvas : public PlusObject {
public:
    GdiCanvas() = default;
    ~GdiCanvas() override { Release(); }

    // Takes `deviceContext` (a window's, from GetDC: the canvas gives it back to its window)
    // and makes a width × height memory picture compatible with it. On failure the message
    // goes to the drawing log and the canvas is left partly made (Release clears it).
    bool CreateFromDeviceHandle(HDC deviceContext, int width, int height);
    // Releases the surface, the memory picture and its device context, and gives the window's
    // device context back. A released canvas can be released again.
    void Release();
    void Destroy() override { Release(); }
    // Gives the window's device context back now and keeps the memory picture readable.
    void ReleaseDeviceContext() { deviceContext_.reset(); }

    void* GetHandle() const override { return graphics_.get(); }
    HDC GetMemoryDC() const { return memoryDC_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }

    bool DrawRectangle(const PlusPen& pen, float x, float y, float w, float h);
    // `text` is GBK; it is drawn from the layout rectangle's corner (a zero-sized rectangle
    // neither clips nor wraps).
    bool DrawString(const Text& text, const PlusFont& font, const PlusSolidBrush& brush,
                    const Gdiplus::RectF& layoutRect, const PlusStringFormat& format);
    bool DrawImageRect(const PlusImage& image, float x, float y, float w, float h);
    // The memory picture to the window's device context, at (x, y), w × h, from the source origin.
    bool CopyTo(int x, int y, int w, int h, DWORD rasterOp = SRCCOPY);
    // The same, blended with constant alpha `alpha` and no per-pixel alpha (255: a plain copy).
    bool BlendTo(int x, int y, int w, int h, BYTE alpha);

private:
    // In order of making; released in reverse: the surface, the selection put back, the
    // bitmap, the memory device context, the window's device context.
    UniqueWindowDc deviceContext_;
    OwnedDc memoryDC_;
    OwnedBitmap bitmap_;
    std::optional<Selection> previousBitmap_;
    UniquePlusGraphics graphics_;
    HWND window_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int sourceX_ = 0;
    int sourceY_ = 0;
};

}  // namespace ql

#endif
