#include "graphics/canvas_win.h"

#include <string>

#include "graphics/drawing_log.h"
#include "text/wide.h"

namespace ql {

namespace {

using namespace Gdiplus::DllExports;

}  // namespace

bool GdiCanvas::CreateFromDeviceHandle(HDC deviceContext, int width, int height) {
    Release();
    deviceContext_.reset(deviceContext);
    window_ = deviceContext ? WindowFromDC(deviceContext) : nullptr;
    if (!deviceContext) {
        AppendDrawingError(drawing_error::kNoDeviceContext);
        return false;
    }
    memoryDC_.reset(CreateCompatibleDC(deviceContext));
    if (!memoryDC_) {
        AppendDrawingError(drawing_error::kMemoryDc);
        return false;
    }
    width_ = width;
    height_ = height;
    bitmap_.reset(CreateCompatibleBitmap(deviceContext, width, height));
    if (!bitmap_) {
        AppendDrawingError(drawing_error::kBitmap);
        return false;
    }
    previousBitmap_.emplace(memoryDC_.get(), bitmap_.get());
    if (!previousBitmap_->selected()) {
        previousBitmap_.reset();
        AppendDrawingError(drawing_error::kSelectBitmap);
        return false;
    }
    StorePlus(GdipCreateFromHDC(memoryDC_.get(), graphics_.put()));
    SetBkMode(memoryDC_.get(), TRANSPARENT);
    return true;
}

void GdiCanvas::Release() {
    graphics_.reset();
    previousBitmap_.reset();
    bitmap_.reset();
    memoryDC_.reset();
    deviceContext_.reset();
    window_ = nullptr;
    width_ = height_ = 0;
}

bool GdiCanvas::DrawRectangle(const PlusPen& pen, float x, float y, float w, float h) {
    return StorePlus(GdipDrawRectangle(graphics_.get(), pen.get(), x, y, w, h));
}

bool GdiCanvas::DrawString(const Text& text, const PlusFont& font, const PlusSolidBrush& brush,
                           const Gdiplus::RectF& layoutRect, const PlusStringFormat& format) {
    // Through the program's one screen edge (code page 936), not the system's code page.
    const std::wstring wide = WideFromGbk(text);
    return StorePlus(GdipDrawString(graphics_.get(), wide.c_str(), static_cast<INT>(wide.size()), font.get(),
                                    &layoutRect, format.get(), brush.get()));
}

bool GdiCanvas::DrawImageRect(const PlusImage& image, float x, float y, float w, float h) {
    return StorePlus(GdipDrawImageRect(graphics_.get(), image.get(), x, y, w, h));
}

bool GdiCanvas::CopyTo(int x, int y, int w, int h, DWORD rasterOp) {
    if (!BitBlt(deviceContext_.get(), x, y, w, h, memoryDC_.get(), sourceX_, sourceY_, rasterOp)) {
        AppendDrawingError(drawing_error::kCopyTo);
        return false;
    }
    return true;
}

bool GdiCanvas::BlendTo(int x, int y, int w, int h, BYTE alpha) {
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, alpha, 0};
    if (!AlphaBlend(deviceContext_.get(), x, y, w, h, memoryDC_.get(), sourceX_, sourceY_, w, h, blend)) {
        AppendDrawingError(drawing_error::kBlendTo);
        return false;
    }
    return true;
}

}  // namespace ql
