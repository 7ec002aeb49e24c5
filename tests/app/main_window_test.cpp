// The real main window, created by the program's start-up in this process, read back through
// the system: every control where the form puts it, with its class, text, font, colours, the
// list's column, the status bar's panes, the button's hint and the pop-up menu. The expected
// values are written out here from the form's description, independently of app/form.cpp, so
// a wrong number in the form table fails as surely as a control built wrongly.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "tests/app/window_harness.h"

namespace ql {
namespace {

using test::ClassOf;
using test::ScopedMainWindow;
using test::WindowTextOf;

struct ExpectedControl {
    FormItem item;
    const wchar_t* name;
    const wchar_t* windowClass;
    int left, top, width, height;
    FormItem inside;
    bool tabStop;
    int fontHeight;  // 0: the control keeps the system font
    int weight;
    const wchar_t* text;  // a status bar's window text is its first pane's
};

// clang-format off
const ExpectedControl kExpected[] = {
    {FormItem::状态条1,     L"状态条1",     L"msctls_statusbar32", 0,   325, 430, 20,  FormItem::MainWindow, false, 14, 700, L"青岚网络"},
    {FormItem::超级按钮1,   L"超级按钮1",   L"Button",             326, 8,   80,  80,  FormItem::分组框2,    true,  14, 700, L"获取下载"},
    {FormItem::透明标签1,   L"透明标签1",   L"Static",             20,  167, 50,  40,  FormItem::MainWindow, false, 19, 700, L"地址："},
    {FormItem::图片框4,     L"图片框4",     L"Static",             12,  38,  156, 70,  FormItem::MainWindow, false, 0,  0,   L""},
    {FormItem::图片框3,     L"图片框3",     L"Static",             200, 43,  72,  64,  FormItem::MainWindow, false, 0,  0,   L""},
    {FormItem::图片框2,     L"图片框2",     L"Static",             272, 43,  72,  64,  FormItem::MainWindow, false, 0,  0,   L""},
    {FormItem::图片框1,     L"图片框1",     L"Static",             344, 43,  64,  64,  FormItem::MainWindow, false, 0,  0,   L""},
    {FormItem::超级列表框1, L"超级列表框1", L"SysListView32",      19,  212, 392, 117, FormItem::MainWindow, true,  16, 700, L""},
    {FormItem::编辑框1,     L"编辑框1",     L"Edit",               70,  170, 262, 30,  FormItem::MainWindow, true,  16, 400, L""},
    {FormItem::分组框1,     L"分组框1",     L"Button",             8,   28,  415, 91,  FormItem::MainWindow, false, 0,  0,   L""},
    {FormItem::分组框2,     L"分组框2",     L"Button",             8,   120, 415, 216, FormItem::MainWindow, false, 0,  0,   L""},
};
// clang-format on

class MainWindowTest : public ::testing::Test {
protected:
    ScopedMainWindow window_;
    HWND main() const { return window_.get(); }
    HWND control(FormItem item) const { return MainWindowControl(item); }
};

TEST_F(MainWindowTest, WindowHasTitlePositionSizeAndNoSystemTitleBar) {
    ASSERT_NE(main(), nullptr);
    EXPECT_EQ(MainWindowHandle(), main());
    EXPECT_EQ(WindowTextOf(main()), L"青岚综合视频下载精灵 v1.0");
    RECT r;
    GetWindowRect(main(), &r);
    EXPECT_EQ(r.left, 50);
    EXPECT_EQ(r.top, 50);
    EXPECT_EQ(r.right - r.left, 430);
    EXPECT_EQ(r.bottom - r.top, 367);
    // No caption and no frame: the whole window is client area, for the skin to draw on.
    RECT client;
    GetClientRect(main(), &client);
    EXPECT_EQ(client.right, 430);
    EXPECT_EQ(client.bottom, 367);
    const LONG_PTR style = GetWindowLongPtrW(main(), GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, 0);
    EXPECT_EQ(style & WS_THICKFRAME, 0);
    EXPECT_TRUE(IsWindowVisible(main()));
    EXPECT_EQ(GetMenu(main()), nullptr) << "no menu bar";
}

TEST_F(MainWindowTest, EveryControlHasItsClassGeometryTextAndFont) {
    RECT mainRect;
    GetWindowRect(main(), &mainRect);
    for (const ExpectedControl& e : kExpected) {
        SCOPED_TRACE(testing::Message() << "control " << static_cast<int>(e.item));
        HWND h = control(e.item);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(GetParent(h), main());
        EXPECT_EQ(ClassOf(h), e.windowClass);
        RECT outer = mainRect;
        if (e.inside != FormItem::MainWindow) {
            GetWindowRect(control(e.inside), &outer);
        }
        RECT r;
        GetWindowRect(h, &r);
        EXPECT_EQ(r.left - outer.left, e.left);
        EXPECT_EQ(r.top - outer.top, e.top);
        EXPECT_EQ(r.right - r.left, e.width);
        EXPECT_EQ(r.bottom - r.top, e.height);
        EXPECT_TRUE(IsWindowVisible(h));
        EXPECT_EQ((GetWindowLongPtrW(h, GWL_STYLE) & WS_TABSTOP) != 0, e.tabStop);
        EXPECT_EQ(WindowTextOf(h), e.text);

        HFONT font = reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0));
        if (e.fontHeight == 0) {
            continue;
        }
        ASSERT_NE(font, nullptr);
        LOGFONTW lf{};
        ASSERT_EQ(GetObjectW(font, sizeof lf, &lf), static_cast<int>(sizeof lf));
        EXPECT_STREQ(lf.lfFaceName, L"宋体");
        EXPECT_EQ(lf.lfHeight, -e.fontHeight);
        EXPECT_EQ(lf.lfWeight, e.weight);
        EXPECT_EQ(lf.lfCharSet, GB2312_CHARSET);
    }
}

TEST_F(MainWindowTest, ControlsAreStackedInCreationOrder) {
    // Siblings lie in creation order, the first on top: the status bar covers the list's and
    // the lower frame's bottom edge, and the frames lie under everything they enclose.
    std::vector<HWND> expected;
    for (const ExpectedControl& e : kExpected) {
        expected.push_back(control(e.item));
    }
    std::vector<HWND> actual;
    for (HWND h = GetWindow(main(), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        actual.push_back(h);
    }
    EXPECT_EQ(actual, expected);
}

TEST_F(MainWindowTest, ListHasOneColumnAndStartsEmpty) {
    HWND list = control(FormItem::超级列表框1);
    EXPECT_EQ(GetWindowLongPtrW(list, GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
    wchar_t header[64] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = header;
    column.cchTextMax = 64;
    ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)));
    EXPECT_STREQ(header, L"网站");
    EXPECT_EQ(column.cx, 385);
    EXPECT_FALSE(SendMessageW(list, LVM_GETCOLUMNW, 1, reinterpret_cast<LPARAM>(&column)));
    HWND headerControl = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageW(headerControl, HDM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(list, LVM_GETBKCOLOR, 0, 0), static_cast<LRESULT>(RGB(255, 255, 255)));
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
    ASSERT_EQ(SendMessageW(bar, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges)), 2);
    EXPECT_EQ(edges[0], 100);
    EXPECT_EQ(edges[1], -1);
    const std::vector<std::wstring> expected = {L"青岚网络", L"使用交流：" + std::wstring(L"" QINGLAN_SITE)};
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
    EXPECT_EQ(edges[0], 100);
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
            if (ClassOf(h) == TOOLTIPS_CLASSW && GetWindow(h, GW_OWNER) == s->owner) {
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
    EXPECT_STREQ(text, L"开始获取");
}

TEST_F(MainWindowTest, PopUpMenuHoldsDownloadAboveCopy) {
    HMENU menu = MainWindowMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 2);
    const wchar_t* expected[] = {L"下载", L"复制"};
    for (int i = 0; i < 2; ++i) {
        wchar_t text[32] = {};
        GetMenuStringW(menu, i, text, 32, MF_BYPOSITION);
        EXPECT_STREQ(text, expected[i]);
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_ID;
        ASSERT_TRUE(GetMenuItemInfoW(menu, i, TRUE, &info));
        EXPECT_EQ(info.fType, static_cast<UINT>(MFT_STRING)) << "no separator";
        EXPECT_EQ(info.fState & MFS_CHECKED, 0u);
        EXPECT_EQ(info.fState & MFS_DISABLED, 0u);
        EXPECT_EQ(info.hSubMenu, nullptr);
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
