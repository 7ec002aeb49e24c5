// The main window's own painting: the picture button, the picture boxes and the controls'
// colours, and the pictures they show.

#include "app/main_window_parts_win.h"

#include <objidl.h>
// The GDI+ flat interface only (the logo is a JPEG, which GDI cannot decode).
#include <gdiplus.h>

#include <cstring>
#include <string>

#include "base/owned_gdiplus_win.h"
#include "graphics/stored_file_win.h"
#include "text/wide.h"

namespace ql::main_window {

namespace {

HBRUSH FillBrush(Fill fill) {
    switch (fill) {
        case Fill::LightBlue:
            return State()->lightBlue.get();
        case Fill::White:
            return State()->white.get();
        case Fill::Transparent:
            return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
        case Fill::Default:
            break;
    }
    return GetSysColorBrush(COLOR_BTNFACE);
}

// Draws `bitmap` scaled into `box`, keeping its proportions, centred.
void DrawFitted(HDC dc, HBITMAP bitmap, const RECT& box) {
    BITMAP info{};
    if (!bitmap || !GetObjectW(bitmap, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0) {
        return;
    }
    const int boxW = box.right - box.left;
    const int boxH = box.bottom - box.top;
    int w = info.bmWidth;
    int h = info.bmHeight;
    if (w > boxW || h > boxH) {
        if (static_cast<long long>(boxW) * h > static_cast<long long>(boxH) * w) {
            w = static_cast<int>(static_cast<long long>(w) * boxH / h);
            h = boxH;
        } else {
            h = static_cast<int>(static_cast<long long>(h) * boxW / w);
            w = boxW;
        }
    }
    OwnedDc source(CreateCompatibleDC(dc));
    Selection selected(source.get(), bitmap);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, box.left + (boxW - w) / 2, box.top + (boxH - h) / 2, w, h, source.get(), 0, 0, info.bmWidth,
               info.bmHeight, SRCCOPY);
}

}  // namespace

OwnedFont MakeFont(const FontSpec& spec) {
    const std::wstring face = WideFromGbk(kFontFace);
    return OwnedFont(CreateFontW(-spec.height, 0, 0, 0, spec.weight, FALSE, FALSE, FALSE, GB2312_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                 face.c_str()));
}

// A picture stored as the bytes of its file, decoded with GDI+ into a bitmap.
OwnedBitmap DecodePicture(int resourceId) {
    const ByteSet bytes = StoredFile(resourceId);
    if (bytes.empty()) {
        return OwnedBitmap();
    }
    UniqueGlobal copy(GlobalAlloc(GMEM_MOVEABLE, bytes.size()));
    if (!copy) {
        return OwnedBitmap();
    }
    {
        GlobalLockScope lock(copy.get());
        if (lock.data() == nullptr) {
            return OwnedBitmap();
        }
        std::memcpy(lock.data(), bytes.data(), bytes.size());
    }
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(copy.get(), TRUE, stream.put()))) {
        return OwnedBitmap();
    }
    copy.release();  // the stream frees the copy now
    OwnedBitmap result;
    UniquePlusBitmap picture;
    if (Gdiplus::DllExports::GdipCreateBitmapFromStream(stream.get(), picture.put()) == Gdiplus::Ok) {
        Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap(picture.get(), result.put(), 0xFF000000 | 0xFFFFFF);
    }
    return result;
}

int IconSlot(FormItem item) {
    switch (item) {
        case FormItem::图片框3:
            return 0;
        case FormItem::图片框2:
            return 1;
        case FormItem::图片框1:
            return 2;
        default:
            return -1;
    }
}

// 超级按钮1: light blue in every state, its picture above its caption. A standard push button
// always paints the system's face colour, so the button draws itself.
void DrawPictureButton(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT rc = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    FillRect(dc, &rc, State()->lightBlue.get());
    DrawEdge(dc, &rc, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);

    wchar_t caption[64] = {};
    const int length = GetWindowTextW(item.hwndItem, caption, static_cast<int>(std::size(caption)));
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
    Selection selectedFont(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
    SIZE text{};
    GetTextExtentPoint32W(dc, caption, length, &text);

    const int shift = pressed ? 1 : 0;
    const int inner = 3;
    const int gap = 1;
    const int available = (rc.bottom - rc.top) - 2 * inner - text.cy - gap;
    const int side = available < 64 ? (available > 0 ? available : 0) : 64;
    RECT picture{rc.left + shift, rc.top + inner + shift, rc.right + shift, rc.top + inner + side + shift};
    DrawFitted(dc, State()->gear.get(), picture);

    RECT label{rc.left + shift, picture.bottom + gap, rc.right + shift, rc.bottom - inner + shift};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor((item.itemState & ODS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    DrawTextW(dc, caption, length, &label, DT_CENTER | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);

    if (item.itemState & ODS_FOCUS) {
        RECT focus = rc;
        InflateRect(&focus, -inner, -inner);
        DrawFocusRect(dc, &focus);
    }
}

// The picture boxes: their fill, then the picture centred (the 64-pixel icons in the 72-pixel
// boxes), or scaled down to fit keeping its proportions (the 160-pixel logo in its 156-pixel box).
void DrawPictureBox(const DRAWITEMSTRUCT& item) {
    const FormItem which = ItemOfControl(item.hwndItem);
    const FormControl* c = FindFormControl(which);
    if (!c) {
        return;
    }
    HDC dc = item.hDC;
    const RECT rc = item.rcItem;
    FillRect(dc, &rc, FillBrush(c->fill));
    const int slot = IconSlot(which);
    if (slot >= 0) {
        HICON icon = State()->icons[static_cast<std::size_t>(slot)].get();
        const int x = rc.left + (rc.right - rc.left - 64) / 2;
        const int y = rc.top + (rc.bottom - rc.top - 64) / 2;
        DrawIconEx(dc, x, y, icon, 64, 64, 0, nullptr, DI_NORMAL);
    } else if (which == FormItem::图片框4) {
        DrawFitted(dc, State()->logo.get(), rc);
    }
}

LRESULT OnControlColour(HWND control, HDC dc, LRESULT fallback) {
    const FormControl* c = FindFormControl(ItemOfControl(control));
    if (!c) {
        return fallback;
    }
    switch (c->fill) {
        case Fill::Transparent:
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        case Fill::LightBlue:
            SetBkColor(dc, kLightBlue);
            return reinterpret_cast<LRESULT>(State()->lightBlue.get());
        case Fill::White:
            SetBkColor(dc, kWhite);
            return reinterpret_cast<LRESULT>(State()->white.get());
        case Fill::Default:
            break;
    }
    return fallback;
}

}  // namespace ql::main_window
