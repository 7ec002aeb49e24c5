// How what the window is told becomes the form's events. The window procedure only reads the
// facts out of a message; which (element, event) they raise is decided here, portably, so the
// routing is tested by a table natively.
#pragma once

#include <cstdint>
#include <optional>

#include "app/form.h"

namespace ql {

// What a command or notification message says, read out of it by the window procedure.
struct WindowNotice {
    enum class Kind {
        ControlCommand,  // WM_COMMAND from a control: `from` sent `code`
        Command,         // WM_COMMAND without a control: a menu or keyboard command `commandId`
        ControlNotify,   // WM_NOTIFY: `from` sent `code` about `row`
    };
    Kind kind = Kind::Command;
    FormItem from = FormItem::MainWindow;
    std::uint32_t code = 0;
    std::uint32_t commandId = 0;
    int row = -1;                    // the row a list notification is about; -1 for none
    bool addressBoxFocused = false;  // 编辑框1 has the keyboard focus
};

struct RoutedEvent {
    FormItem item;
    FormEvent event;
    friend bool operator==(const RoutedEvent& a, const RoutedEvent& b) {
        return a.item == b.item && a.event == b.event;
    }
};

// The system's codes the routing reads. They are the values of BN_CLICKED, NM_RCLICK and IDOK,
// written here because this file includes no system header; the window code checks them
// against the system's while compiling.
inline constexpr std::uint32_t kButtonClickedCode = 0;
inline constexpr std::uint32_t kRightClickCode = static_cast<std::uint32_t>(-5);
// Enter, as the message loop's dialog keyboard handling reports it.
inline constexpr std::uint32_t kEnterCommandId = 1;

// The event a notice raises, if any: a click of a control that is clicked, Enter in the address
// box as a click of 超级按钮1, a chosen menu item, a right-click on a row of a list.
std::optional<RoutedEvent> RouteNotice(const WindowNotice& notice);

// The command identifier of a menu item (菜单_下载, 菜单_复制); 0 for anything else. It stays
// clear of IDOK (1) and IDCANCEL (2), which the dialog keyboard handling sends for Enter and
// Escape.
std::uint32_t MenuCommandId(FormItem item);
// The menu item of a command identifier; nothing for any other identifier.
std::optional<FormItem> MenuItemOfCommand(std::uint32_t commandId);

}  // namespace ql
