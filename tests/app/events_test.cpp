// Events of the real window, raised by real mouse input (SendInput) and routed through a
// binding table: the list's pop-up menu on a right-clicked row, the menu's items, the button,
// the picture boxes (on the press, not the release), the window's created event; and the
// program's own table, which may only bind events that the form raises.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/app/window_harness.h"

namespace ql {
namespace {

using test::MouseAt;
using test::Press;
using test::PumpUntil;
using test::ScopedMainWindow;

// What the recording routines saw; reset by each test.
std::vector<FormItem> g_calls;
bool g_createdSawWindow = false;

template <FormItem item>
void Record() {
    g_calls.push_back(item);
}

void RecordCreated() {
    g_calls.push_back(FormItem::MainWindow);
    HWND window = MainWindowHandle();
    g_createdSawWindow = window && IsWindowVisible(window) && MainWindowControl(FormItem::分组框2) &&
                         MainWindowControl(FormItem::状态条1) && MainWindowMenu();
}

// Every event of the form bound to a recorder, the list's right-click to the real ShowListMenu.
BindingTable RecordingTable() {
    using E = FormEvent;
    using I = FormItem;
    return {
        {I::MainWindow, E::Created, RecordCreated},
        {I::超级按钮1, E::Clicked, Record<I::超级按钮1>},
        {I::图片框1, E::LeftButtonPressed, Record<I::图片框1>},
        {I::图片框2, E::LeftButtonPressed, Record<I::图片框2>},
        {I::图片框3, E::LeftButtonPressed, Record<I::图片框3>},
        {I::超级列表框1, E::RowRightClicked, ShowListMenu},
        {I::菜单_下载, E::Selected, Record<I::菜单_下载>},
        {I::菜单_复制, E::Selected, Record<I::菜单_复制>},
    };
}

// The pop-up menu as the timer probe saw it while it was open.
struct MenuSighting {
    bool seen = false;
    HMENU menu = nullptr;
    std::vector<std::wstring> items;
    POINT at{};
    std::vector<WPARAM> keys;  // what the probe then types into the menu (Escape when empty)
    std::function<void()> whileOpen;
};
MenuSighting* g_sighting = nullptr;

// Runs inside the menu's own modal loop, which dispatches timer messages.
void CALLBACK MenuProbe(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND popup = FindWindowW(L"#32768", nullptr);
    if (!g_sighting || !popup || !IsWindowVisible(popup)) {
        return;
    }
    KillTimer(nullptr, timer);
    MenuSighting& s = *g_sighting;
    s.seen = true;
    s.menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(s.menu); ++i) {
        wchar_t text[32] = {};
        GetMenuStringW(s.menu, i, text, 32, MF_BYPOSITION);
        s.items.push_back(text);
    }
    RECT r;
    GetWindowRect(popup, &r);
    s.at = POINT{r.left, r.top};
    if (s.whileOpen) {
        s.whileOpen();
    }
    if (s.keys.empty()) {
        s.keys.push_back(VK_ESCAPE);
    }
    for (WPARAM key : s.keys) {
        PostMessageW(popup, WM_KEYDOWN, key, 0);
        PostMessageW(popup, WM_KEYUP, key, 0);
    }
}

// Arms the probe, runs `act`, and pumps until the menu has been seen and has closed again.
MenuSighting WatchMenu(const std::function<void()>& act, std::vector<WPARAM> keys = {},
                       std::function<void()> whileOpen = {}, DWORD limitMs = 4000) {
    MenuSighting s;
    s.keys = std::move(keys);
    s.whileOpen = std::move(whileOpen);
    g_sighting = &s;
    const UINT_PTR timer = SetTimer(nullptr, 0, 30, MenuProbe);
    act();
    PumpUntil([&] { return s.seen && !FindWindowW(L"#32768", nullptr); }, limitMs);
    if (!s.seen) {
        KillTimer(nullptr, timer);
    }
    test::Pump(50);
    g_sighting = nullptr;
    return s;
}

POINT RowPoint(HWND list, int row) {
    RECT r{};
    r.left = LVIR_LABEL;
    SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r));
    POINT p{r.left + 20, (r.top + r.bottom) / 2};
    ClientToScreen(list, &p);
    return p;
}

void RightClick(POINT p) { MouseAt(p, true, Press::Click); }

class EventsTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_calls.clear();
        g_createdSawWindow = false;
    }
};

TEST_F(EventsTest, CreatedRunsOnceWithTheWholeFormInPlace) {
    ScopedMainWindow window(RecordingTable());
    ASSERT_NE(window.get(), nullptr);
    EXPECT_EQ(g_calls, std::vector<FormItem>{FormItem::MainWindow});
    EXPECT_TRUE(g_createdSawWindow);
}

TEST_F(EventsTest, RightClickOnARowPopsUpTheMenuAtThePointer) {
    ScopedMainWindow window;  // the program's own table
    HWND list = MainWindowControl(FormItem::超级列表框1);
    for (const wchar_t* row : {L"http://a/1.flv", L"http://a/2.flv", L"http://a/3.flv"}) {
        test::AppendRow(list, row);
    }
    const POINT p = RowPoint(list, 1);
    const MenuSighting s = WatchMenu([&] { RightClick(p); });
    ASSERT_TRUE(s.seen) << "no pop-up menu after a right-click on a row";
    EXPECT_EQ(s.menu, MainWindowMenu());
    EXPECT_EQ(s.items, (std::vector<std::wstring>{L"下载", L"复制"}));
    EXPECT_NEAR(s.at.x, p.x, 2);
    EXPECT_NEAR(s.at.y, p.y, 2);
    // The right-click selected the row the menu's items act on.
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 1);
}

TEST_F(EventsTest, RightClickBelowTheRowsShowsNoMenu) {
    ScopedMainWindow window;
    HWND list = MainWindowControl(FormItem::超级列表框1);
    test::AppendRow(list, L"http://a/1.flv");
    POINT below = RowPoint(list, 0);
    below.y += 60;
    const MenuSighting s = WatchMenu([&] { RightClick(below); }, {}, {}, 800);
    EXPECT_FALSE(s.seen);
}

TEST_F(EventsTest, ChosenMenuItemRunsItsOwnRoutine) {
    const struct {
        std::vector<WPARAM> keys;
        std::vector<FormItem> calls;
    } cases[] = {
        {{VK_DOWN, VK_RETURN}, {FormItem::菜单_下载}},
        {{VK_DOWN, VK_DOWN, VK_RETURN}, {FormItem::菜单_复制}},
        {{VK_ESCAPE}, {}},
    };
    for (const auto& c : cases) {
        ScopedMainWindow window(RecordingTable());
        g_calls.clear();
        HWND list = MainWindowControl(FormItem::超级列表框1);
        test::AppendRow(list, L"http://a/1.flv");
        const MenuSighting s = WatchMenu([&] { RightClick(RowPoint(list, 0)); }, c.keys);
        ASSERT_TRUE(s.seen);
        EXPECT_EQ(g_calls, c.calls) << "after " << c.keys.size() << " keys";
    }
}

std::wstring ClipboardText() {
    std::wstring text;
    if (OpenClipboard(nullptr)) {
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            if (const auto* p = static_cast<const wchar_t*>(GlobalLock(data))) {
                text = p;
                GlobalUnlock(data);
            }
        }
        CloseClipboard();
    }
    return text;
}

void SetClipboardText(const std::wstring& text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    std::copy(text.c_str(), text.c_str() + text.size() + 1, static_cast<wchar_t*>(GlobalLock(data)));
    GlobalUnlock(data);
    SetClipboardData(CF_UNICODETEXT, data);
    CloseClipboard();
}

// With the program's own table: an item chosen while no row is selected leaves the list, the
// clipboard and the screen as they were.
TEST_F(EventsTest, ItemChosenWithoutASelectedRowDoesNothing) {
    for (const std::vector<WPARAM>& keys : {std::vector<WPARAM>{VK_DOWN, VK_RETURN},              // 下载
                                            std::vector<WPARAM>{VK_DOWN, VK_DOWN, VK_RETURN}}) {  // 复制
        ScopedMainWindow window;
        HWND list = MainWindowControl(FormItem::超级列表框1);
        test::AppendRow(list, L"http://a/1.flv");
        test::AppendRow(list, L"http://a/2.flv");
        SetClipboardText(L"earlier clipboard");
        const MenuSighting s = WatchMenu([&] { RightClick(RowPoint(list, 0)); }, keys,
                                         [&] {
                                             LVITEMW state{};
                                             state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
                                             SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                                                          reinterpret_cast<LPARAM>(&state));
                                         });
        ASSERT_TRUE(s.seen);
        test::Pump(200);
        EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), -1);
        EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
        EXPECT_EQ(ClipboardText(), L"earlier clipboard");
        EXPECT_EQ(FindWindowW(L"#32770", nullptr), nullptr) << "a message box appeared";
    }
}

TEST_F(EventsTest, ButtonClickRunsOnRelease) {
    ScopedMainWindow window(RecordingTable());
    g_calls.clear();
    const POINT p = test::CentreOf(MainWindowControl(FormItem::超级按钮1));
    MouseAt(p, false, Press::Down);
    test::Pump(150);
    EXPECT_TRUE(g_calls.empty()) << "a button acts on its release";
    MouseAt(p, false, Press::Up);
    PumpUntil([] { return !g_calls.empty(); }, 1000);
    EXPECT_EQ(g_calls, std::vector<FormItem>{FormItem::超级按钮1});
}

TEST_F(EventsTest, PictureBoxesActOnThePressNotTheRelease) {
    ScopedMainWindow window(RecordingTable());
    for (FormItem box : {FormItem::图片框1, FormItem::图片框2, FormItem::图片框3}) {
        g_calls.clear();
        const POINT p = test::CentreOf(MainWindowControl(box));
        MouseAt(p, false, Press::Down);
        PumpUntil([] { return !g_calls.empty(); }, 1000);
        EXPECT_EQ(g_calls, std::vector<FormItem>{box}) << "on the press";
        MouseAt(p, false, Press::Up);
        test::Pump(100);
        EXPECT_EQ(g_calls, std::vector<FormItem>{box}) << "nothing more on the release";
        test::Pump(400);  // past the double-click time, so the next press is a fresh one
    }
    // The logo raises nothing.
    g_calls.clear();
    MouseAt(test::CentreOf(MainWindowControl(FormItem::图片框4)), false, Press::Click);
    test::Pump(150);
    EXPECT_TRUE(g_calls.empty());
}

// A quick second click is a second click, on the button as on the picture boxes.
TEST_F(EventsTest, BothClicksOfADoubleClickCount) {
    ScopedMainWindow window(RecordingTable());
    for (FormItem item : {FormItem::超级按钮1, FormItem::图片框2}) {
        g_calls.clear();
        const POINT p = test::CentreOf(MainWindowControl(item));
        MouseAt(p, false, Press::Click);
        MouseAt(p, false, Press::Click);
        PumpUntil([] { return g_calls.size() >= 2; }, 1000);
        EXPECT_EQ(g_calls, (std::vector<FormItem>{item, item})) << FormName(item);
        test::Pump(600);  // past the double-click time
    }
}

TEST(Bindings, ProgramTableBindsOnlyEventsTheFormRaisesOnce) {
    std::set<std::pair<FormItem, FormEvent>> seen;
    bool listMenu = false;
    for (const Binding& b : MainWindowBindings()) {
        SCOPED_TRACE(FormName(b.item));
        EXPECT_TRUE(CanRaise(b.item, b.event)) << "bound to an event it never raises";
        EXPECT_NE(b.handler, nullptr);
        EXPECT_TRUE(seen.insert({b.item, b.event}).second) << "bound twice";
        listMenu = listMenu || (b.item == FormItem::超级列表框1 && b.event == FormEvent::RowRightClicked &&
                                b.handler == &ShowListMenu);
    }
    EXPECT_TRUE(listMenu) << "the list's right-click must pop up its menu";
}

}  // namespace
}  // namespace ql
