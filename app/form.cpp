#include "app/form.h"

#include "app/resource_ids.h"

#ifndef QINGLAN_SITE
#error "QINGLAN_SITE (the product web site's base address) is set by app/CMakeLists.txt"
#endif

namespace ql {

namespace {

using K = ControlKind;
using I = FormItem;

const FormWindow kWindow = {"青岚综合视频下载精灵 v1.0", 50, 50, 430, 367, Fill::LightBlue};

// 透明标签1 ends where 编辑框1 begins (x 70): it lies above the box, and wider it would hide
// the first characters typed.
// clang-format off
const std::vector<FormControl> kControls = {
//   item           name           kind                  left top  width height inside        focus  font           fill               text        hint        picture
    {I::状态条1,     "状态条1",     K::StatusBar,         0,   325, 430,  20,  I::MainWindow, false, {14, kBold},   Fill::LightBlue,   "",         "",         0},
    {I::超级按钮1,   "超级按钮1",   K::PictureButton,     326, 8,   80,   80,  I::分组框2,    true,  {14, kBold},   Fill::LightBlue,   "获取下载", "开始获取", QL_BITMAP_GEAR},
    {I::透明标签1,   "透明标签1",   K::TransparentLabel,  20,  167, 50,   40,  I::MainWindow, false, {19, kBold},   Fill::Transparent, "地址：",   "",         0},
    {I::图片框4,     "图片框4",     K::PictureBox,        12,  38,  156,  70,  I::MainWindow, false, {},            Fill::Default,     "",         "",         QL_DATA_LOGO},
    {I::图片框3,     "图片框3",     K::PictureBox,        200, 43,  72,   64,  I::MainWindow, false, {},            Fill::LightBlue,   "",         "",         QL_ICON_FACE},
    {I::图片框2,     "图片框2",     K::PictureBox,        272, 43,  72,   64,  I::MainWindow, false, {},            Fill::LightBlue,   "",         "",         QL_ICON_UPDATE},
    {I::图片框1,     "图片框1",     K::PictureBox,        344, 43,  64,   64,  I::MainWindow, false, {},            Fill::LightBlue,   "",         "",         QL_ICON_HOME},
    {I::菜单,        "菜单",        K::PopupMenu,         0,   0,   0,    0,   I::MainWindow, false, {},            Fill::Default,     "菜单",     "",         0},
    {I::超级列表框1, "超级列表框1", K::ReportList,        19,  212, 392,  117, I::MainWindow, true,  {16, kBold},   Fill::White,       "",         "",         0},
    {I::编辑框1,     "编辑框1",     K::EditBox,           70,  170, 262,  30,  I::MainWindow, true,  {16, kNormal}, Fill::White,       "",         "",         0},
    {I::分组框1,     "分组框1",     K::GroupFrame,        8,   28,  415,  91,  I::MainWindow, false, {},            Fill::LightBlue,   "",         "",         0},
    {I::分组框2,     "分组框2",     K::GroupFrame,        8,   120, 415,  216, I::MainWindow, false, {},            Fill::LightBlue,   "",         "",         0},
};
// clang-format on

const std::vector<StatusPane> kPanes = {
    {100, "青岚网络"},
    {-1, "使用交流：" QINGLAN_SITE},
};

const std::vector<ListColumn> kColumns = {
    {"网站", 385},
};

const std::vector<MenuEntry> kMenuEntries = {
    {I::菜单_下载, "下载"},
    {I::菜单_复制, "复制"},
};

}  // namespace

const FormWindow& MainWindowForm() { return kWindow; }

const std::vector<FormControl>& MainWindowControls() { return kControls; }

const FormControl* FindFormControl(FormItem item) {
    for (const FormControl& c : kControls) {
        if (c.item == item) {
            return &c;
        }
    }
    return nullptr;
}

const char* FormName(FormItem item) {
    switch (item) {
        case I::MainWindow:
            return "MainWindow";
        case I::菜单_下载:
            return "菜单.下载";
        case I::菜单_复制:
            return "菜单.复制";
        default:
            break;
    }
    const FormControl* c = FindFormControl(item);
    return c ? c->name : "";
}

const std::vector<StatusPane>& StatusBarPanes() { return kPanes; }

const std::vector<ListColumn>& ResultListColumns() { return kColumns; }

const char* MenuCaption() { return FindFormControl(I::菜单)->text; }

const std::vector<MenuEntry>& MenuEntries() { return kMenuEntries; }

Rect RectInWindow(const FormControl& control) {
    Rect r{control.left, control.top, control.width, control.height};
    if (control.inside != I::MainWindow) {
        if (const FormControl* frame = FindFormControl(control.inside)) {
            const Rect outer = RectInWindow(*frame);
            r.left += outer.left;
            r.top += outer.top;
        }
    }
    return r;
}

bool CanRaise(FormItem item, FormEvent event) {
    if (item == I::MainWindow) {
        return event == FormEvent::Created;
    }
    if (item == I::菜单_下载 || item == I::菜单_复制) {
        return event == FormEvent::Selected;
    }
    const FormControl* c = FindFormControl(item);
    if (!c) {
        return false;
    }
    switch (c->kind) {
        case K::PictureButton:
            return event == FormEvent::Clicked;
        case K::PictureBox:
            return event == FormEvent::LeftButtonPressed;
        case K::ReportList:
            return event == FormEvent::RowRightClicked;
        default:
            return false;
    }
}

}  // namespace ql
