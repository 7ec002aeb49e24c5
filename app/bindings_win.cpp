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
#include "app/program.h"
#include "app/resource_ids.h"
#include "graphics/stored_file_win.h"
#include "resolve/actions.h"
#include "resolve/shell.h"
#include "ui/skin_win.h"
#include "update/check.h"

namespace ql {

namespace {

// The product site's pages, opened in the default browser.
void OpenGuestbookPage() { OpenAddress(Text(QINGLAN_SITE "/index.php?s=gb-show.html")); }
void OpenSoftwarePage() { OpenAddress(Text(QINGLAN_SITE "/my-show-id-soft.html")); }

// The skin's buttons' pictures, button 1 to 4: close, minimise, then the "page" and the
// "guest" pictures of the buttons that open the guest-book and the software page.
constexpr SkinButtonPictureIds kSkinButtonPictures = {{
    {QL_DATA_BTN_CLOSE_NORMAL, QL_DATA_BTN_CLOSE_HOVER, QL_DATA_BTN_CLOSE_PRESSED},
    {QL_DATA_BTN_MIN_NORMAL, QL_DATA_BTN_MIN_HOVER, QL_DATA_BTN_MIN_PRESSED},
    {QL_DATA_BTN_PAGE_NORMAL, QL_DATA_BTN_PAGE_HOVER, QL_DATA_BTN_PAGE_PRESSED},
    {QL_DATA_BTN_GUEST_NORMAL, QL_DATA_BTN_GUEST_HOVER, QL_DATA_BTN_GUEST_PRESSED},
}};

// The window is skinned: its close button ends the program in order, its two page buttons
// open the guest-book and software pages.
void OnMainWindowCreated() {
    SetUpWindowSkin(MainWindowHandle(), kSkinButtonPictures, EndProgram);
    SetSkinOptions(StoredFile(QL_DATA_TITLE_ICON), {}, 0, OpenGuestbookPage, OpenSoftwarePage);
}

}  // namespace

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
