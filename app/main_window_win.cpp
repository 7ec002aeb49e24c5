#include "app/main_window.h"

#include <commctrl.h>
#include <objidl.h>
#include <uxtheme.h>
// The GDI+ flat interface only (the logo is a JPEG, which GDI cannot decode).
#include <gdiplus.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>

#include "app/resource_ids.h"
#include "base/busy_cursor_win.h"
#include "base/owned_gdiplus_win.h"
#include "base/owned_win.h"
#include "text/wide.h"

namespace ql {

namespace {

constexpr wchar_t kWindowClass[] = L"QinglanMainWindow";
constexpr int kItemCount = static_cast<int>(FormItem::菜单_复制) + 1;
// Control and menu identifiers. Both stay clear of IDOK (1) and IDCANCEL (2), which the
// dialog keyboard handling of the message loop sends for Enter and Escape.
constexpr int kFirstControlId = 100;
constexpr UINT kFirstMenuCommand = 200;

int Index(FormItem item) { return static_cast<int>(item); }

struct WindowState {
    BindingTable bindings;
    std::array<HWND, kItemCount> controls{};
    OwnedMenu menu;
    std::vector<OwnedFont> fonts;
    OwnedBrush lightBlue{CreateSolidBrush(kLightBlue)};
    OwnedBrush white{CreateSolidBrush(kWhite)};
    OwnedBitmap gear;
    OwnedBitmap logo;
    std::array<OwnedIcon, 3> icons;  // 图片框3, 图片框2, 图片框1
    HWND tooltip = nullptr;          // owned by the window: destroyed with it
    HWND lastFocus = nullptr;
};

// Program-wide: the one main window and its state (0 until it is created).
HWND g_window = nullptr;
WindowState* g_state = nullptr;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

FormItem ItemOfControl(HWND control) {
    if (g_state && control) {
        for (int i = 0; i < kItemCount; ++i) {
            if (g_state->controls[static_cast<std::size_t>(i)] == control) {
                return static_cast<FormItem>(i);
            }
        }
    }
    return FormItem::MainWindow;
}

// Runs the routines bound to (item, event). The routines are collected first: one of them may
// destroy the window, and with it the table.
void Raise(FormItem item, FormEvent event) noexcept {
    if (!g_state) {
        return;
    }
    Handler due[8] = {};
    std::size_t n = 0;
    for (const Binding& b : g_state->bindings) {
        if (b.item == item && b.event == event && b.handler && n < std::size(due)) {
            due[n++] = b.handler;
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        try {
            due[i]();
        } catch (...) {
            // Bound routines report nothing and do not throw; should one throw anyway, the
            // exception must not unwind through the system's window procedure.
        }
    }
    // The one trace of a handled event, invisible without a debugger: it tells whoever drives
    // the program from outside that the action has ended (so "nothing else happened" can be
    // checked at its end rather than after a guessed time).
    if (n > 0) {
        OutputDebugStringW(L"qinglan: action ended\n");
    }
}

OwnedFont MakeFont(const FontSpec& spec) {
    const std::wstring face = WideFromGbk(kFontFace);
    return OwnedFont(CreateFontW(-spec.height, 0, 0, 0, spec.weight, FALSE, FALSE, FALSE, GB2312_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                 face.c_str()));
}

// A picture stored as the bytes of its file, decoded with GDI+ into a bitmap.
OwnedBitmap DecodePicture(int resourceId) {
    HRSRC found = FindResourceW(Instance(), MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    HGLOBAL loaded = found ? LoadResource(Instance(), found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = found ? SizeofResource(Instance(), found) : 0;
    if (!bytes || size == 0) {
        return OwnedBitmap();
    }
    UniqueGlobal copy(GlobalAlloc(GMEM_MOVEABLE, size));
    if (!copy) {
        return OwnedBitmap();
    }
    {
        GlobalLockScope lock(copy.get());
        if (lock.data() == nullptr) {
            return OwnedBitmap();
        }
        std::memcpy(lock.data(), bytes, size);
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

HBRUSH FillBrush(Fill fill) {
    switch (fill) {
        case Fill::LightBlue:
            return g_state->lightBlue.get();
        case Fill::White:
            return g_state->white.get();
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

// 超级按钮1: light blue in every state, its picture above its caption. A standard push button
// always paints the system's face colour, so the button draws itself.
void DrawPictureButton(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT rc = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    FillRect(dc, &rc, g_state->lightBlue.get());
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
    DrawFitted(dc, g_state->gear.get(), picture);

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
        HICON icon = g_state->icons[static_cast<std::size_t>(slot)].get();
        const int x = rc.left + (rc.right - rc.left - 64) / 2;
        const int y = rc.top + (rc.bottom - rc.top - 64) / 2;
        DrawIconEx(dc, x, y, icon, 64, 64, 0, nullptr, DI_NORMAL);
    } else if (which == FormItem::图片框4) {
        DrawFitted(dc, g_state->logo.get(), rc);
    }
}

LRESULT CALLBACK PictureBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                DWORD_PTR item) noexcept {
    switch (message) {
        // The press itself is the event, not the release; the second press of a double click
        // arrives as a double click message and is a press all the same.
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            Raise(static_cast<FormItem>(item), FormEvent::LeftButtonPressed);
            return 0;
        case WM_NCDESTROY:
            RemoveWindowSubclass(box, PictureBoxProc, id);
            break;
        default:
            break;
    }
    return DefSubclassProc(box, message, wParam, lParam);
}

// An owner-drawn button takes the second press of a double click for a double click and sends
// no click for it; a push button clicks twice. The second press is handed on as a press.
LRESULT CALLBACK PictureButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                   DWORD_PTR) noexcept {
    if (message == WM_LBUTTONDBLCLK) {
        message = WM_LBUTTONDOWN;
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(button, PictureButtonProc, id);
    }
    return DefSubclassProc(button, message, wParam, lParam);
}

HWND CreateChild(HWND parent, const FormControl& c, const wchar_t* windowClass, DWORD style, DWORD exStyle,
                 const std::wstring& text) {
    const Rect r = RectInWindow(c);
    return CreateWindowExW(exStyle, windowClass, text.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, r.left,
                           r.top, r.width, r.height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + Index(c.item))), Instance(),
                           nullptr);
}

void SetUpStatusBar(HWND bar) {
    // A themed status bar ignores its background colour; without a theme it takes it.
    SetWindowTheme(bar, nullptr, L" ");
    SendMessageW(bar, SB_SETBKCOLOR, 0, static_cast<LPARAM>(kLightBlue));
    const std::vector<StatusPane>& panes = StatusBarPanes();
    std::vector<int> edges;
    int right = 0;
    for (const StatusPane& p : panes) {
        right = p.width < 0 ? -1 : right + p.width;
        edges.push_back(right);
    }
    SendMessageW(bar, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    for (std::size_t i = 0; i < panes.size(); ++i) {
        const std::wstring text = WideFromGbk(panes[i].text);
        SendMessageW(bar, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(text.c_str()));
    }
}

void SetUpList(HWND list) {
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    SendMessageW(list, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(kWhite));
    SendMessageW(list, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(kWhite));
    int index = 0;
    for (const ListColumn& column : ResultListColumns()) {
        std::wstring header = WideFromGbk(column.header);
        LVCOLUMNW lvc{};
        lvc.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        lvc.pszText = header.data();
        lvc.cx = column.width;
        lvc.iSubItem = index;
        SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&lvc));
        ++index;
    }
}

void AddHint(HWND window, HWND control, const char* hint) {
    if (!g_state->tooltip) {
        g_state->tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                           WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                                           CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, Instance(), nullptr);
    }
    std::wstring text = WideFromGbk(hint);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = text.data();
    SendMessageW(g_state->tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

OwnedMenu MakeMenu() {
    OwnedMenu menu(CreatePopupMenu());
    for (const MenuEntry& entry : MenuEntries()) {
        const std::wstring text = WideFromGbk(entry.text);
        AppendMenuW(menu.get(), MF_STRING, MenuCommandId(entry.item), text.c_str());
    }
    return menu;
}

void CreateControl(HWND window, const FormControl& c) {
    HWND h = nullptr;
    const std::wstring text = WideFromGbk(c.text);
    const DWORD tab = c.focusable ? WS_TABSTOP : 0;
    switch (c.kind) {
        case ControlKind::StatusBar:
            h = CreateChild(window, c, STATUSCLASSNAMEW, CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER, 0, L"");
            break;
        case ControlKind::PictureButton:
            h = CreateChild(window, c, WC_BUTTONW, BS_PUSHBUTTON | BS_OWNERDRAW | tab, 0, text);
            if (h) {
                SetWindowSubclass(h, PictureButtonProc, 1, 0);
            }
            g_state->gear.reset(static_cast<HBITMAP>(
                LoadImageW(Instance(), MAKEINTRESOURCEW(c.picture), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
            break;
        case ControlKind::TransparentLabel:
            h = CreateChild(window, c, WC_STATICW, SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX, 0, text);
            break;
        case ControlKind::PictureBox: {
            // SS_NOTIFY: without it a static lets every click through to the window below.
            h = CreateChild(window, c, WC_STATICW, SS_OWNERDRAW | SS_NOTIFY, 0, L"");
            const int slot = IconSlot(c.item);
            if (slot >= 0) {
                g_state->icons[static_cast<std::size_t>(slot)].reset(static_cast<HICON>(
                    LoadImageW(Instance(), MAKEINTRESOURCEW(c.picture), IMAGE_ICON, 64, 64, LR_DEFAULTCOLOR)));
            } else {
                g_state->logo = DecodePicture(c.picture);
            }
            if (h) {
                SetWindowSubclass(h, PictureBoxProc, 1, static_cast<DWORD_PTR>(Index(c.item)));
            }
            break;
        }
        case ControlKind::PopupMenu:
            g_state->menu = MakeMenu();
            return;
        case ControlKind::ReportList:
            h = CreateChild(window, c, WC_LISTVIEWW, LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | tab,
                            WS_EX_CLIENTEDGE, L"");
            break;
        case ControlKind::EditBox:
            h = CreateChild(window, c, WC_EDITW, ES_LEFT | ES_AUTOHSCROLL | tab, WS_EX_CLIENTEDGE, text);
            break;
        case ControlKind::GroupFrame:
            h = CreateChild(window, c, WC_BUTTONW, BS_GROUPBOX, 0, text);
            break;
        case ControlKind::Window:
        case ControlKind::MenuItem:
            return;
    }
    if (!h) {
        return;
    }
    g_state->controls[static_cast<std::size_t>(Index(c.item))] = h;
    if (c.font.height > 0) {
        g_state->fonts.push_back(MakeFont(c.font));
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(g_state->fonts.back().get()), FALSE);
    }
    if (c.kind == ControlKind::StatusBar) {
        SetUpStatusBar(h);  // after the font: the bar measures its panes with it
    } else if (c.kind == ControlKind::ReportList) {
        SetUpList(h);
    }
    if (c.hint[0] != '\0') {
        AddHint(window, h, c.hint);
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
            return reinterpret_cast<LRESULT>(g_state->lightBlue.get());
        case Fill::White:
            SetBkColor(dc, kWhite);
            return reinterpret_cast<LRESULT>(g_state->white.get());
        case Fill::Default:
            break;
    }
    return fallback;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (!g_state || window != g_window) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    switch (message) {
        case WM_ERASEBKGND: {
            // The window's colour; the group frames and the label let it show through.
            RECT rc;
            GetClientRect(window, &rc);
            FillRect(reinterpret_cast<HDC>(wParam), &rc, g_state->lightBlue.get());
            return 1;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
            return OnControlColour(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam),
                                   DefWindowProcW(window, message, wParam, lParam));
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item->CtlType == ODT_BUTTON) {
                DrawPictureButton(*item);
            } else if (item->CtlType == ODT_STATIC) {
                DrawPictureBox(*item);
            }
            return TRUE;
        }
        case WM_COMMAND:
            if (lParam != 0) {
                const FormItem item = ItemOfControl(reinterpret_cast<HWND>(lParam));
                if (HIWORD(wParam) == BN_CLICKED && CanRaise(item, FormEvent::Clicked)) {
                    Raise(item, FormEvent::Clicked);
                }
            } else if (LOWORD(wParam) == IDOK && HIWORD(wParam) == 0) {
                // Enter, as the message loop's dialog keyboard handling reports it: in the
                // address box it asks for the addresses, as the button does.
                if (GetFocus() == g_state->controls[static_cast<std::size_t>(Index(FormItem::编辑框1))]) {
                    Raise(FormItem::超级按钮1, FormEvent::Clicked);
                }
            } else if (HIWORD(wParam) == 0) {
                for (const MenuEntry& entry : MenuEntries()) {
                    if (LOWORD(wParam) == MenuCommandId(entry.item)) {
                        Raise(entry.item, FormEvent::Selected);
                    }
                }
            }
            return 0;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            const FormItem item = ItemOfControl(header->hwndFrom);
            if (header->code == static_cast<UINT>(NM_RCLICK) && CanRaise(item, FormEvent::RowRightClicked) &&
                reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem >= 0) {
                Raise(item, FormEvent::RowRightClicked);
            }
            return 0;
        }
        case WM_ACTIVATE:
            // Keyboard focus comes back to the control that had it.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(window, focus)) {
                    g_state->lastFocus = focus;
                }
            } else {
                HWND focus = g_state->lastFocus ? g_state->lastFocus
                                                : g_state->controls[static_cast<std::size_t>(Index(FormItem::编辑框1))];
                if (focus && IsWindow(focus)) {
                    SetFocus(focus);
                    return 0;
                }
            }
            break;
        case WM_SETCURSOR:
            // While a fetch runs, over the window and every control on it.
            if (ShowBusyPointerWhileFetching()) {
                return TRUE;
            }
            break;
        case WM_DESTROY:
            // The program's only window: when it is gone, the message loop ends.
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY: {
            std::unique_ptr<WindowState> state(g_state);
            g_state = nullptr;
            g_window = nullptr;
            return DefWindowProcW(window, message, wParam, lParam);
        }
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterWindowClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(Instance(), kWindowClass, &wc)) {
        return true;
    }
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = Instance();
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
    wc.hIcon = static_cast<HICON>(
        LoadImageW(Instance(), MAKEINTRESOURCEW(QL_ICON_TITLE), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR | LR_SHARED));
    wc.hIconSm = static_cast<HICON>(
        LoadImageW(Instance(), MAKEINTRESOURCEW(QL_ICON_TITLE), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR | LR_SHARED));
    wc.lpszClassName = kWindowClass;
    return RegisterClassExW(&wc) != 0;
}

}  // namespace

UINT MenuCommandId(FormItem item) {
    if (item == FormItem::菜单_下载 || item == FormItem::菜单_复制) {
        return kFirstMenuCommand + static_cast<UINT>(Index(item));
    }
    return 0;
}

HWND CreateMainWindow(const BindingTable& bindings) {
    if (g_window) {
        return nullptr;
    }
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&classes);
    if (!RegisterWindowClass()) {
        return nullptr;
    }
    auto state = std::make_unique<WindowState>();
    state->bindings = bindings;
    g_state = state.release();  // from here on the window owns it (freed at WM_NCDESTROY)

    const FormWindow& form = MainWindowForm();
    const std::wstring title = WideFromGbk(form.title);
    // No system title bar and no frame: the window's whole surface is its client area.
    HWND window = CreateWindowExW(WS_EX_APPWINDOW, kWindowClass, title.c_str(),
                                  WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS, form.left, form.top,
                                  form.width, form.height, nullptr, nullptr, Instance(), nullptr);
    if (!window) {
        delete g_state;
        g_state = nullptr;
        return nullptr;
    }
    g_window = window;
    g_state->controls[static_cast<std::size_t>(Index(FormItem::MainWindow))] = window;
    for (const FormControl& c : MainWindowControls()) {
        CreateControl(window, c);
    }
    // Shown, and painted first by the message loop: the created handler puts the skin in
    // place, so a paint before it would draw a window that is at once drawn over.
    ShowWindow(window, SW_SHOW);
    Raise(FormItem::MainWindow, FormEvent::Created);
    return g_window;
}

HWND MainWindowHandle() { return g_window; }

HWND MainWindowControl(FormItem item) {
    if (!g_state || Index(item) < 0 || Index(item) >= kItemCount) {
        return nullptr;
    }
    return g_state->controls[static_cast<std::size_t>(Index(item))];
}

HMENU MainWindowMenu() { return g_state ? g_state->menu.get() : nullptr; }

void ShowListMenu() {
    HWND window = g_window;
    HMENU menu = MainWindowMenu();
    if (!window || !menu) {
        return;
    }
    POINT at{};
    GetCursorPos(&at);
    const UINT chosen = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y,
                       0, window, nullptr));
    for (const MenuEntry& entry : MenuEntries()) {
        if (chosen != 0 && chosen == MenuCommandId(entry.item)) {
            Raise(entry.item, FormEvent::Selected);
        }
    }
}

}  // namespace ql
