// Building the main window's controls from the form: each control with its style, font,
// hint, pictures and subclass, the status bar's panes, the list's columns and the menu.

#include "app/main_window_parts_win.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <string>

#include "app/routing.h"
#include "text/wide.h"

namespace ql::main_window {

namespace {

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
    if (!State()->tooltip) {
        State()->tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
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
    SendMessageW(State()->tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

OwnedMenu MakeMenu() {
    OwnedMenu menu(CreatePopupMenu());
    for (const MenuEntry& entry : MenuEntries()) {
        const std::wstring text = WideFromGbk(entry.text);
        AppendMenuW(menu.get(), MF_STRING, MenuCommandId(entry.item), text.c_str());
    }
    return menu;
}

}  // namespace

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
            State()->gear.reset(static_cast<HBITMAP>(
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
                State()->icons[static_cast<std::size_t>(slot)].reset(static_cast<HICON>(
                    LoadImageW(Instance(), MAKEINTRESOURCEW(c.picture), IMAGE_ICON, 64, 64, LR_DEFAULTCOLOR)));
            } else {
                State()->logo = DecodePicture(c.picture);
            }
            if (h) {
                SetWindowSubclass(h, PictureBoxProc, 1, static_cast<DWORD_PTR>(Index(c.item)));
            }
            break;
        }
        case ControlKind::PopupMenu:
            State()->menu = MakeMenu();
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
    State()->controls[static_cast<std::size_t>(Index(c.item))] = h;
    if (c.font.height > 0) {
        State()->fonts.push_back(MakeFont(c.font));
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(State()->fonts.back().get()), FALSE);
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

}  // namespace ql::main_window
