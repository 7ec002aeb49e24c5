// The routing of what the window is told to the form's events: a wrong row here is a button
// that does nothing, Enter that runs the action from the wrong control, or a right-click on
// the list's empty space that pops up the menu for no row.
#include "app/routing.h"

#include <gtest/gtest.h>

#include <optional>

namespace ql {
namespace {

using Kind = WindowNotice::Kind;

constexpr std::uint32_t kOtherButtonCode = 5;                               // BN_DOUBLECLICKED: not a click
constexpr std::uint32_t kOtherNotifyCode = static_cast<std::uint32_t>(-2);  // NM_CLICK

TEST(Routing, NoticesRaiseTheirEvents) {
    const std::uint32_t download = MenuCommandId(FormItem::菜单_下载);
    const std::uint32_t copy = MenuCommandId(FormItem::菜单_复制);
    const struct {
        const char* what;
        WindowNotice notice;
        std::optional<RoutedEvent> routed;
    } rows[] = {
        {"the button clicked",
         {Kind::ControlCommand, FormItem::超级按钮1, kButtonClickedCode},
         RoutedEvent{FormItem::超级按钮1, FormEvent::Clicked}},
        {"the button double-clicked", {Kind::ControlCommand, FormItem::超级按钮1, kOtherButtonCode}, std::nullopt},
        {"a frame 'clicked'", {Kind::ControlCommand, FormItem::分组框1, kButtonClickedCode}, std::nullopt},
        {"the address box's change", {Kind::ControlCommand, FormItem::编辑框1, 0x300}, std::nullopt},
        {"Enter in the address box",
         {Kind::Command, FormItem::MainWindow, 0, kEnterCommandId, -1, true},
         RoutedEvent{FormItem::超级按钮1, FormEvent::Clicked}},
        {"Enter elsewhere", {Kind::Command, FormItem::MainWindow, 0, kEnterCommandId, -1, false}, std::nullopt},
        {"下载 chosen",
         {Kind::Command, FormItem::MainWindow, 0, download},
         RoutedEvent{FormItem::菜单_下载, FormEvent::Selected}},
        {"复制 chosen",
         {Kind::Command, FormItem::MainWindow, 0, copy},
         RoutedEvent{FormItem::菜单_复制, FormEvent::Selected}},
        {"Escape", {Kind::Command, FormItem::MainWindow, 0, 2}, std::nullopt},
        {"an unknown command", {Kind::Command, FormItem::MainWindow, 0, 999}, std::nullopt},
        {"a right-click on row 0",
         {Kind::ControlNotify, FormItem::超级列表框1, kRightClickCode, 0, 0},
         RoutedEvent{FormItem::超级列表框1, FormEvent::RowRightClicked}},
        {"a right-click below the rows",
         {Kind::ControlNotify, FormItem::超级列表框1, kRightClickCode, 0, -1},
         std::nullopt},
        {"a left click on a row", {Kind::ControlNotify, FormItem::超级列表框1, kOtherNotifyCode, 0, 0}, std::nullopt},
        {"a right-click on the status bar",
         {Kind::ControlNotify, FormItem::状态条1, kRightClickCode, 0, 0},
         std::nullopt},
    };
    for (const auto& row : rows) {
        const std::optional<RoutedEvent> routed = RouteNotice(row.notice);
        EXPECT_EQ(routed.has_value(), row.routed.has_value()) << row.what;
        if (routed && row.routed) {
            EXPECT_TRUE(*routed == *row.routed) << row.what;
        }
    }
}

TEST(Routing, EveryMenuItemHasItsOwnCommand) {
    for (const MenuEntry& entry : MenuEntries()) {
        const std::uint32_t id = MenuCommandId(entry.item);
        // Enter and Escape arrive as IDOK (1) and IDCANCEL (2): a menu item on them would run.
        EXPECT_GT(id, 2u) << FormName(entry.item);
        ASSERT_TRUE(MenuItemOfCommand(id).has_value()) << FormName(entry.item);
        EXPECT_EQ(*MenuItemOfCommand(id), entry.item) << FormName(entry.item);
    }
    EXPECT_EQ(MenuCommandId(FormItem::超级按钮1), 0u);
    EXPECT_FALSE(MenuItemOfCommand(0).has_value());
}

}  // namespace
}  // namespace ql
