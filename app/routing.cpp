#include "app/routing.h"

namespace ql {

namespace {

constexpr std::uint32_t kFirstMenuCommand = 200;

}  // namespace

std::uint32_t MenuCommandId(FormItem item) {
    for (const MenuEntry& entry : MenuEntries()) {
        if (entry.item == item) {
            return kFirstMenuCommand + static_cast<std::uint32_t>(item);
        }
    }
    return 0;
}

std::optional<FormItem> MenuItemOfCommand(std::uint32_t commandId) {
    for (const MenuEntry& entry : MenuEntries()) {
        if (commandId != 0 && commandId == MenuCommandId(entry.item)) {
            return entry.item;
        }
    }
    return std::nullopt;
}

std::optional<RoutedEvent> RouteNotice(const WindowNotice& notice) {
    switch (notice.kind) {
        case WindowNotice::Kind::ControlCommand:
            if (notice.code == kButtonClickedCode && CanRaise(notice.from, FormEvent::Clicked)) {
                return RoutedEvent{notice.from, FormEvent::Clicked};
            }
            return std::nullopt;
        case WindowNotice::Kind::Command:
            if (notice.commandId == kEnterCommandId) {
                // Enter in the address box asks for the addresses, as the button does.
                if (notice.addressBoxFocused) {
                    return RoutedEvent{FormItem::超级按钮1, FormEvent::Clicked};
                }
                return std::nullopt;
            }
            if (const std::optional<FormItem> item = MenuItemOfCommand(notice.commandId)) {
                return RoutedEvent{*item, FormEvent::Selected};
            }
            return std::nullopt;
        case WindowNotice::Kind::ControlNotify:
            // Only a row: a right-click on the empty space below the rows is nothing.
            if (notice.code == kRightClickCode && notice.row >= 0 &&
                CanRaise(notice.from, FormEvent::RowRightClicked)) {
                return RoutedEvent{notice.from, FormEvent::RowRightClicked};
            }
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace ql
