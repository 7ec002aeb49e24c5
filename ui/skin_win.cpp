#include "ui/skin_win.h"

#include <string>

#include "graphics/stored_file_win.h"
#include "text/wide.h"
#include "ui/look.h"

namespace ql {

namespace {

constexpr std::uint32_t kDefaultBackground = kLightBlue;
constexpr const char* kTitleFont = kFontFace;

const PlusImage* PictureFor(const ImageButton& button) {
    switch (button.state) {
        case ButtonState::Normal:
            return &button.normalImage;
        case ButtonState::Hover:
            return &button.hoverImage;
        case ButtonState::Pressed:
            return &button.pressedImage;
    }
    return nullptr;
}

// The window's device context for the skin's drawing. Child windows are left out: the copy
// covers the whole window, and a control outside the part being repainted would otherwise be
// painted over and not drawn again.
HDC SkinWindowDc(HWND window) { return GetDCEx(window, nullptr, DCX_CACHE | DCX_CLIPCHILDREN | DCX_CLIPSIBLINGS); }

Text WindowTitle(HWND window) {
    wchar_t title[256] = {};
    const int length = GetWindowTextW(window, title, static_cast<int>(std::size(title)));
    return GbkFromWide(std::wstring_view(title, static_cast<std::size_t>(length > 0 ? length : 0)));
}

void Apply(const SkinMouseEffect& effect) {
    for (int i = 0; i < effect.redrawCount; ++i) {
        DrawImageButton(effect.redraw[static_cast<std::size_t>(i)], 0, false);
    }
    WindowSkin* skin = TheWindowSkin();
    if (effect.dragWindow && skin) {
        // The system moves the window while the button is held, as if the press were on a
        // title bar: the whole surface outside the buttons and controls is one.
        SendMessageW(skin->window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
    }
    if (effect.showResizeCursor) {
        ApplyResizeCursor();
    }
    if (effect.action != 0) {
        RunButtonAction(effect.action);
    }
}

}  // namespace

LRESULT CALLBACK SkinWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    WindowSkin* skin = TheWindowSkin();
    if (!skin) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    const auto x = static_cast<std::int32_t>(lParam & 0xFFFF);
    const auto y = static_cast<std::int32_t>((lParam >> 16) & 0xFFFF);
    switch (message) {
        case WM_PAINT:
            skin->hook.BeginPaint(window);
            PaintSkin(window);
            skin->hook.EndPaint(window);
            break;
        case WM_MOUSEMOVE:
            OnSkinMouseMove(x, y);
            break;
        case WM_LBUTTONDOWN:
            OnSkinButtonDown(x, y);
            break;
        case WM_LBUTTONUP:
            OnSkinButtonUp(x, y);
            break;
        default:
            break;
    }
    skin = TheWindowSkin();
    return skin ? skin->hook.CallPrevious(window, message, wParam, lParam)
                : DefWindowProcW(window, message, wParam, lParam);
}

void PaintSkin(HWND window) {
    WindowSkin* skin = TheWindowSkin();
    if (!skin) {
        return;
    }
    const std::int32_t w = skin->windowSize.width;
    const std::int32_t h = skin->windowSize.height;
    GdiCanvas& canvas = skin->canvas;
    canvas.Release();
    skin->composedSurface = nullptr;
    if (!canvas.CreateFromDeviceHandle(SkinWindowDc(window), w, h)) {
        canvas.Release();
        return;
    }
    skin->composedSurface = canvas.GetMemoryDC();
    {
        OwnedBrush background(CreateSolidBrush(skin->backgroundColor ? skin->backgroundColor : kDefaultBackground));
        const RECT all{0, 0, w, h};
        FillRect(skin->composedSurface, &all, background.get());
    }
    const auto fw = static_cast<float>(w);
    const auto fh = static_cast<float>(h);
    if (skin->scratchImage.LoadFromBytes(skin->backgroundPicture)) {
        canvas.DrawImageRect(skin->scratchImage, 1.0f, 1.0f, fw, fh);
    }
    PlusPen pen;
    pen.Create(ToArgb(0x000000, 155, true), 1.0f, Gdiplus::UnitWorld);
    canvas.DrawRectangle(pen, 1.0f, 1.0f, fw - 3, fh - 5);
    if (skin->scratchImage.LoadFromBytes(skin->titleIcon)) {
        canvas.DrawImageRect(skin->scratchImage, 5.0f, 5.0f, 20.0f, 20.0f);
    }
    PlusSolidBrush brush;
    brush.Create(ToArgb(0xFFFFFF, 255, true));
    PlusFont font;
    // Where the face is not installed (GDI+ finds no family of that name, and a font
    // replacement does not help it) the title is drawn in the system's sans-serif family
    // rather than not at all; where even that family is missing (a Wine prefix without
    // Wine's own fonts), in the sans-serif font that GDI picks for Chinese text.
    if (!font.CreateByName(kTitleFont, 12.0f, Gdiplus::FontStyleBold, Gdiplus::UnitPixel) &&
        !font.CreateGenericSansSerif(12.0f, Gdiplus::FontStyleBold, Gdiplus::UnitPixel)) {
        font.CreateMappedSansSerif(skin->composedSurface, 12, true);
    }
    PlusStringFormat format;
    canvas.DrawString(WindowTitle(window), font, brush, Gdiplus::RectF(28.0f, 9.0f, 0.0f, 0.0f), format);
    canvas.CopyTo(1, 1, w, h - 2);
    skin->scratchImage.Dispose();
    canvas.ReleaseDeviceContext();  // the memory picture stays for the button redraws
    for (int i = 1; i <= kSkinButtonCount; ++i) {
        DrawImageButton(i, 0, false);
    }
}

void DrawImageButton(int index, std::uint8_t alpha, bool useAlpha) {
    WindowSkin* skin = TheWindowSkin();
    if (!skin || index < 1 || index > kSkinButtonCount) {
        return;
    }
    const ImageButton& button = skin->buttons[static_cast<std::size_t>(index - 1)];
    const ButtonRect& r = button.bounds;
    GdiCanvas d;
    if (!d.CreateFromDeviceHandle(SkinWindowDc(skin->window), r.width, r.height)) {
        return;
    }
    if (skin->composedSurface) {
        StretchBlt(d.GetMemoryDC(), 0, 0, r.width, r.height, skin->composedSurface, r.x, r.y, r.width, r.height,
                   SRCCOPY);
    }
    if (!useAlpha) {
        alpha = 255;
    }
    if (const PlusImage* picture = PictureFor(button)) {
        d.DrawImageRect(*picture, 0.0f, 0.0f, static_cast<float>(r.width), static_cast<float>(r.height));
    }
    // One pixel below the hit rectangle.
    d.BlendTo(r.x, r.y + 1, r.width, r.height, alpha);
}

void OnSkinMouseMove(std::int32_t x, std::int32_t y) {
    WindowSkin* skin = TheWindowSkin();
    if (skin) {
        Apply(SkinMouseMove(skin->buttons, skin->resizeZone, skin->windowSize.width, skin->windowSize.height, x, y));
    }
}

void OnSkinButtonDown(std::int32_t x, std::int32_t y) {
    WindowSkin* skin = TheWindowSkin();
    if (skin) {
        Apply(SkinButtonDown(skin->buttons, skin->resizeZone, x, y));
    }
}

void OnSkinButtonUp(std::int32_t x, std::int32_t y) {
    WindowSkin* skin = TheWindowSkin();
    if (skin) {
        Apply(SkinButtonUp(skin->buttons, x, y));
    }
}

void ApplyResizeCursor() {
    WindowSkin* skin = TheWindowSkin();
    if (!skin) {
        return;
    }
    WORD shape = 0;
    switch (skin->resizeZone) {
        case ResizeZone::RightEdge:
            shape = kCursorSizeWe;
            break;
        case ResizeZone::BottomEdge:
            shape = kCursorSizeNs;
            break;
        case ResizeZone::BottomRightCorner:
            shape = kCursorSizeNwse;
            break;
        case ResizeZone::None:
            return;
    }
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(shape)));
}

void RunButtonAction(int index) {
    WindowSkin* skin = TheWindowSkin();
    if (!skin) {
        return;
    }
    switch (index) {
        case 1:
            if (skin->closeAction) {
                skin->closeAction();
            }
            break;
        case 2:
            SendMessageW(skin->window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
            break;
        case 3:
            if (skin->thirdButtonAction) {
                skin->thirdButtonAction();
            }
            break;
        case 4:
            if (skin->fourthButtonAction) {
                skin->fourthButtonAction();
            }
            break;
        default:
            break;
    }
}

}  // namespace ql
