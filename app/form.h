// The main window's form: every element by its form name, its geometry, font, colours, texts
// and pictures, as plain data. The window code creates the window from these tables and the
// tests compare the real window with them, so nothing of the form's look lives anywhere else.
//
// Texts are GBK (they reach the screen through text/wide.h). Positions are pixels relative to
// the window, or to the frame named in `inside`.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/look.h"

namespace ql {

// The window, its controls in creation order, the pop-up menu's items.
enum class FormItem : int {
    MainWindow,
    状态条1,
    超级按钮1,
    透明标签1,
    图片框4,
    图片框3,
    图片框2,
    图片框1,
    菜单,
    超级列表框1,
    编辑框1,
    分组框1,
    分组框2,
    菜单_下载,
    菜单_复制,
};

// What a form element can do for the user; each handler is bound to one (element, event).
enum class FormEvent : int {
    Created,            // the window: all controls exist and the window is shown
    Clicked,            // the button: pressed and released over it (mouse or keyboard)
    LeftButtonPressed,  // a picture box: the left button goes down over it (not its release)
    RowRightClicked,    // the list: a row (not the empty space below the rows) is right-clicked
    Selected,           // a menu item: chosen
};

enum class ControlKind : int {
    Window,
    StatusBar,
    PictureButton,
    TransparentLabel,
    PictureBox,
    PopupMenu,
    MenuItem,
    ReportList,
    EditBox,
    GroupFrame,
};

enum class Fill : int {
    Default,    // the control's own system colour
    LightBlue,  // kLightBlue
    White,
    Transparent,  // the window's background shows through
};

inline constexpr std::uint32_t kWhite = 0x00FFFFFF;

// Every font of the form has the face kFontFace (ui/look.h) and the GB2312 character set.
inline constexpr int kBold = 700;
inline constexpr int kNormal = 400;

struct FontSpec {
    int height = 0;  // character height in pixels (a negative LOGFONT height); 0: no font of its own
    int weight = 0;
};

struct FormControl {
    FormItem item;
    const char* name;
    ControlKind kind;
    int left, top, width, height;
    FormItem inside;  // MainWindow, or the frame that left and top are relative to
    bool focusable;
    FontSpec font;
    Fill fill;
    const char* text;  // caption or initial content; "" for none
    const char* hint;  // tooltip text; "" for none
    int picture;       // resource id (app/resource_ids.h), 0 for none
};

struct FormWindow {
    const char* title;
    int left, top, width, height;
    Fill fill;
};

struct StatusPane {
    int width;  // -1: the rest of the bar
    const char* text;
};

struct ListColumn {
    const char* header;
    int width;
};

struct MenuEntry {
    FormItem item;
    const char* text;
};

struct Rect {
    int left, top, width, height;
};

const FormWindow& MainWindowForm();
// The controls, 菜单 included, in creation order.
const std::vector<FormControl>& MainWindowControls();
// The control's row; null for the window itself and for the menu items.
const FormControl* FindFormControl(FormItem item);
// The form name ("超级按钮1", …; "MainWindow" for the window, "菜单.下载" for a menu item).
const char* FormName(FormItem item);

const std::vector<StatusPane>& StatusBarPanes();     // 状态条1
const std::vector<ListColumn>& ResultListColumns();  // 超级列表框1
const char* MenuCaption();                           // 菜单
const std::vector<MenuEntry>& MenuEntries();         // 菜单's items, top to bottom

// The control's rectangle relative to the window (resolving `inside`).
Rect RectInWindow(const FormControl& control);

// Whether `item` ever raises `event`: a binding for a pair that is never raised would never
// run, so the binding tables are checked against this.
bool CanRaise(FormItem item, FormEvent event);

}  // namespace ql
