// The real main window, created by the program's start-up in this process, read back through
// the system. Two kinds of check: the live window is what its form (app/form.h) says, so the
// window code cannot drift from the form; and the form's own geometry holds together on the
// live window (the label meets the address box, every control lies inside one frame, the
// frames hold nothing on top of each other, Tab follows the form), so a wrong number in the
// form breaks a test too.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "tests/app/window_harness.h"
#include "text/wide.h"

namespace ql {
namespace {

using test::ScopedMainWindow;
using test::WindowTextOf;

std::wstring Wide(const char* gbk) { return WideFromGbk(gbk); }

// The controls that are windows (the pop-up menu is not), in creation order.
std::vector<const FormControl*> WindowControls() {
    std::vector<const FormControl*> rows;
    for (const FormControl& c : MainWindowControls()) {
        if (c.kind != ControlKind::PopupMenu) {
            rows.push_back(&c);
        }
    }
    return rows;
}

class MainWindowTest : public ::testing::Test {
protected:
    ScopedMainWindow window_;
    HWND main() const { return window_.get(); }
    HWND control(FormItem item) const { return MainWindowControl(item); }
    // A control's live rectangle in window pixels.
    RECT RectOf(FormItem item) const {
        RECT window{}, r{};
        GetWindowRect(main(), &window);
        GetWindowRect(control(item), &r);
        OffsetRect(&r, -window.left, -window.top);
        return r;
    }
};

bool Contains(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

TEST_F(MainWindowTest, WindowIsItsFormWithoutASystemTitleBar) {
    ASSERT_NE(main(), nullptr);
    EXPECT_EQ(MainWindowHandle(), main());
    const FormWindow& form = MainWindowForm();
    EXPECT_EQ(WindowTextOf(main()), Wide(form.title));
    RECT r;
    GetWindowRect(main(), &r);
    EXPECT_EQ(r.left, form.left);
    EXPECT_EQ(r.top, form.top);
    EXPECT_EQ(r.right - r.left, form.width);
    EXPECT_EQ(r.bottom - r.top, form.height);
    // No caption and no frame: the whole window is client area, for the skin to draw on.
    RECT client;
    GetClientRect(main(), &client);
    EXPECT_EQ(client.right, form.width);
    EXPECT_EQ(client.bottom, form.height);
    const LONG_PTR style = GetWindowLongPtrW(main(), GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, 0);
    EXPECT_EQ(style & WS_THICKFRAME, 0);
    EXPECT_TRUE(IsWindowVisible(main()));
    EXPECT_EQ(GetMenu(main()), nullptr) << "no menu bar";
}

TEST_F(MainWindowTest, EveryControlHasItsFormRowsGeometryTextAndFont) {
    for (const FormControl* row : WindowControls()) {
        SCOPED_TRACE(row->name);
        HWND h = control(row->item);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(GetParent(h), main());
        const Rect want = RectInWindow(*row);
        const RECT r = RectOf(row->item);
        EXPECT_EQ(r.left, want.left);
        EXPECT_EQ(r.top, want.top);
        EXPECT_EQ(r.right - r.left, want.width);
        EXPECT_EQ(r.bottom - r.top, want.height);
        EXPECT_TRUE(IsWindowVisible(h));
        EXPECT_EQ((GetWindowLongPtrW(h, GWL_STYLE) & WS_TABSTOP) != 0, row->focusable);
        // A status bar's window text is its first pane's.
        const char* text = row->kind == ControlKind::StatusBar ? StatusBarPanes().front().text : row->text;
        EXPECT_EQ(WindowTextOf(h), Wide(text));

        if (row->font.height == 0) {
            continue;
        }
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr);
        LOGFONTW lf{};
        ASSERT_EQ(GetObjectW(font, sizeof lf, &lf), static_cast<int>(sizeof lf));
        EXPECT_EQ(std::wstring(lf.lfFaceName), Wide(kFontFace));
        EXPECT_EQ(lf.lfHeight, -row->font.height);
        EXPECT_EQ(lf.lfWeight, row->font.weight);
        EXPECT_EQ(lf.lfCharSet, GB2312_CHARSET);
    }
}

TEST_F(MainWindowTest, ControlsAreStackedInCreationOrder) {
    // Siblings lie in creation order, the first on top: the status bar covers the list's and
    // the lower frame's bottom edge, and the frames lie under everything they enclose.
    std::vector<HWND> expected;
    for (const FormControl* row : WindowControls()) {
        expected.push_back(control(row->item));
    }
    std::vector<HWND> actual;
    for (HWND h = GetWindow(main(), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        actual.push_back(h);
    }
    EXPECT_EQ(actual, expected);
}

TEST_F(MainWindowTest, LabelEndsWhereTheAddressBoxStarts) {
    // Wider, the label would hide the first characters typed; narrower, a gap shows.
    const RECT label = RectOf(FormItem::透明标签1);
    const RECT box = RectOf(FormItem::编辑框1);
    EXPECT_EQ(label.right, box.left);
    EXPECT_LE(label.top, box.top) << "the label stands beside the whole box";
    EXPECT_GE(label.bottom, box.bottom);
}

TEST_F(MainWindowTest, EveryControlLiesInsideOneFrameWithoutOverlapping) {
    RECT client{};
    GetClientRect(main(), &client);
    std::vector<RECT> frames;
    std::vector<std::pair<const FormControl*, RECT>> framed;
    for (const FormControl* row : WindowControls()) {
        const RECT r = RectOf(row->item);
        EXPECT_TRUE(Contains(client, r)) << row->name << " lies inside the window";
        if (row->kind == ControlKind::GroupFrame) {
            frames.push_back(r);
        } else if (row->kind != ControlKind::StatusBar) {  // the bar spans the window's foot
            framed.emplace_back(row, r);
        }
    }
    ASSERT_EQ(frames.size(), 2u);
    RECT overlap{};
    EXPECT_FALSE(IntersectRect(&overlap, &frames[0], &frames[1])) << "the frames lie apart";
    for (const auto& [row, r] : framed) {
        int holders = 0;
        for (const RECT& frame : frames) {
            holders += Contains(frame, r) ? 1 : 0;
        }
        EXPECT_EQ(holders, 1) << row->name << " lies inside one frame";
        if (row->inside != FormItem::MainWindow) {
            EXPECT_TRUE(Contains(RectOf(row->inside), r)) << row->name << " lies inside the frame it is placed in";
        }
        for (const auto& [other, o] : framed) {
            if (other != row) {
                EXPECT_FALSE(IntersectRect(&overlap, &r, &o)) << row->name << " overlaps " << other->name;
            }
        }
    }
}

TEST_F(MainWindowTest, TabMovesThroughTheFocusableControlsInFormOrder) {
    std::vector<HWND> focusable;
    for (const FormControl* row : WindowControls()) {
        if (row->focusable) {
            focusable.push_back(control(row->item));
        }
    }
    ASSERT_GE(focusable.size(), 2u);
    for (std::size_t i = 0; i < focusable.size(); ++i) {
        const HWND next = focusable[(i + 1) % focusable.size()];
        EXPECT_EQ(GetNextDlgTabItem(main(), focusable[i], FALSE), next) << "after control " << i;
        EXPECT_EQ(GetNextDlgTabItem(main(), next, TRUE), focusable[i]) << "before control " << i + 1;
    }
}

TEST_F(MainWindowTest, ListHasItsOneColumnWithinItsWidthAndStartsEmpty) {
    HWND list = control(FormItem::超级列表框1);
    ASSERT_EQ(ResultListColumns().size(), 1u);
    const ListColumn& want = ResultListColumns().front();
    EXPECT_EQ(GetWindowLongPtrW(list, GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
    wchar_t header[64] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = header;
    column.cchTextMax = 64;
    ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)));
    EXPECT_EQ(std::wstring(header), Wide(want.header));
    EXPECT_EQ(column.cx, want.width);
    RECT client{};
    GetClientRect(list, &client);
    EXPECT_LE(column.cx, client.right) << "the column fits: no sideways scrolling";
    EXPECT_FALSE(SendMessageW(list, LVM_GETCOLUMNW, 1, reinterpret_cast<LPARAM>(&column)));
    HWND headerControl = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageW(headerControl, HDM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(list, LVM_GETBKCOLOR, 0, 0), static_cast<LRESULT>(kWhite));
}

std::vector<std::wstring> PaneTexts(HWND bar) {
    std::vector<std::wstring> texts;
    const int parts = static_cast<int>(SendMessageW(bar, SB_GETPARTS, 0, 0));
    for (int i = 0; i < parts; ++i) {
        wchar_t buffer[256] = {};
        if (LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, i, 0)) < 256) {
            SendMessageW(bar, SB_GETTEXTW, i, reinterpret_cast<LPARAM>(buffer));
        }
        texts.push_back(buffer);
    }
    return texts;
}

TEST_F(MainWindowTest, StatusBarPanesStayThroughFillingAndEmptyingTheList) {
    HWND bar = control(FormItem::状态条1);
    int edges[4] = {};
    ASSERT_EQ(StatusBarPanes().size(), 2u);
    const int firstEdge = StatusBarPanes()[0].width;
    ASSERT_EQ(SendMessageW(bar, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges)), 2);
    EXPECT_EQ(edges[0], firstEdge);
    EXPECT_EQ(edges[1], -1);
    std::vector<std::wstring> expected;
    for (const StatusPane& pane : StatusBarPanes()) {
        expected.push_back(Wide(pane.text));
    }
    EXPECT_EQ(PaneTexts(bar), expected);

    HWND list = control(FormItem::超级列表框1);
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 40; ++i) {
            test::AppendRow(list, L"http://127.0.0.1/视频/" + std::to_wstring(i) + L".flv");
        }
        test::Pump(20);
        EXPECT_EQ(PaneTexts(bar), expected);
        SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
        test::Pump(20);
        EXPECT_EQ(PaneTexts(bar), expected);
    }
    EXPECT_EQ(SendMessageW(bar, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges)), 2);
    EXPECT_EQ(edges[0], firstEdge);
}

TEST_F(MainWindowTest, ButtonHintIsATooltip) {
    HWND button = control(FormItem::超级按钮1);
    // The tooltip is a pop-up owned by the main window.
    struct Search {
        HWND owner;
        std::vector<HWND> found;
    } search{main(), {}};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND h, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            if (test::ClassOf(h) == TOOLTIPS_CLASSW && GetWindow(h, GW_OWNER) == s->owner) {
                s->found.push_back(h);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    ASSERT_EQ(search.found.size(), 1u);
    HWND tip = search.found[0];
    ASSERT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
    wchar_t text[80] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.lpszText = text;
    ASSERT_TRUE(SendMessageW(tip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool)));
    EXPECT_EQ(tool.uId, reinterpret_cast<UINT_PTR>(button));
    EXPECT_EQ(std::wstring(text), Wide(FindFormControl(FormItem::超级按钮1)->hint));
}

TEST_F(MainWindowTest, PopUpMenuHoldsItsEntriesAsPlainItemsInOrder) {
    HMENU menu = MainWindowMenu();
    ASSERT_NE(menu, nullptr);
    const std::vector<MenuEntry>& entries = MenuEntries();
    ASSERT_EQ(GetMenuItemCount(menu), static_cast<int>(entries.size()));
    for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
        wchar_t text[32] = {};
        GetMenuStringW(menu, i, text, 32, MF_BYPOSITION);
        EXPECT_EQ(std::wstring(text), Wide(entries[static_cast<std::size_t>(i)].text));
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_ID;
        ASSERT_TRUE(GetMenuItemInfoW(menu, i, TRUE, &info));
        EXPECT_EQ(info.fType, static_cast<UINT>(MFT_STRING)) << "no separator";
        EXPECT_EQ(info.fState & MFS_CHECKED, 0u);
        EXPECT_EQ(info.fState & MFS_DISABLED, 0u);
        EXPECT_EQ(info.hSubMenu, nullptr);
        EXPECT_EQ(info.wID, MenuCommandId(entries[static_cast<std::size_t>(i)].item));
    }
}

// The colours as they reach the screen, read at points where nothing but the named fill can be.
TEST_F(MainWindowTest, SurfacesHaveTheirColours) {
    RedrawWindow(main(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    test::Pump(100);
    const COLORREF lightBlue = RGB(77, 166, 222);
    const COLORREF white = RGB(255, 255, 255);
    struct Probe {
        const char* what;
        int x, y;  // window pixels
        COLORREF colour;
    };
    const Probe probes[] = {
        {"the window's top strip", 200, 10, lightBlue},
        {"the window inside the upper frame", 185, 80, lightBlue},
        {"the window between label and list", 40, 209, lightBlue},
        {"the window below the status bar", 200, 360, lightBlue},
        {"picture box 3 beside its icon", 201, 75, lightBlue},
        {"picture box 2 beside its icon", 342, 75, lightBlue},
        {"the button's face", 337, 133, lightBlue},
        {"the button's face, lower right", 410, 204, lightBlue},
        {"the status bar", 425, 340, lightBlue},
        {"the list", 200, 300, white},
        {"the address box", 320, 190, white},
        {"the address box just inside its left edge", 73, 185, white},
    };
    HDC dc = GetDC(main());
    for (const Probe& p : probes) {
        EXPECT_EQ(GetPixel(dc, p.x, p.y), p.colour) << p.what << " at " << p.x << "," << p.y;
    }
    ReleaseDC(main(), dc);
}

}  // namespace
}  // namespace ql
