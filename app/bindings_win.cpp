// The main window's event bindings: the complete list of what the window does. An event not
// listed here is not handled.
//
// Adding a binding: add one row { element, event, routine } below and include the routine's
// header. A routine with arguments is bound through a captureless lambda that fetches what it
// needs from the form, e.g.
//     {FormItem::超级按钮1, FormEvent::Clicked,
//      [] { ResolveAndList(MainWindowControl(FormItem::编辑框1), MainWindowControl(FormItem::超级列表框1)); }},
// and the folder's library goes into ql_app's target_link_libraries (app/CMakeLists.txt).
// Which events an element can raise is CanRaise (app/form.h); the tests check every row.
#include "app/bindings.h"

#include "app/main_window.h"
#include "resolve/actions.h"
#include "ui/skin_win.h"
#include "update/check.h"

namespace ql {

const BindingTable& MainWindowBindings() {
    using E = FormEvent;
    using I = FormItem;
    // clang-format off
    static const BindingTable table = {
        {I::MainWindow, E::Created, OnMainWindowCreated},
        {I::超级按钮1, E::Clicked,
         [] { ResolveAndList(MainWindowControl(I::编辑框1), MainWindowControl(I::超级列表框1)); }},
        {I::图片框1, E::LeftButtonPressed, OpenSoftwarePage},
        {I::图片框2, E::LeftButtonPressed, [] { CheckForUpdate(MainWindowHandle()); }},
        {I::图片框3, E::LeftButtonPressed, OpenSoftwarePage},
        {I::超级列表框1, E::RowRightClicked, ShowListMenu},
        {I::菜单_下载, E::Selected, [] { OpenSelectedAddress(MainWindowControl(I::超级列表框1)); }},
        {I::菜单_复制, E::Selected, [] { CopySelectedAddress(MainWindowControl(I::超级列表框1)); }},
    };
    // clang-format on
    return table;
}

}  // namespace ql
