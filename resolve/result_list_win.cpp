#include "resolve/result_list.h"

#include <commctrl.h>

#include <string>

#include "resolve/reply.h"
#include "text/wide.h"

namespace ql {

namespace {

void AppendRow(HWND list, const Text& text) {
    LVITEMW row = {};
    row.mask = LVIF_TEXT;
    row.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    row.pszText = const_cast<wchar_t*>(L"");
    const int index = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));
    if (index < 0) {
        return;
    }
    std::wstring wide = WideFromGbk(text);
    LVITEMW cell = {};
    cell.iSubItem = 0;
    cell.pszText = wide.data();
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&cell));
}

}  // namespace

void FillResultList(HWND list, const Text& value) {
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    const ResultRows result = ReadResultRows(value);
    for (const Text& row : result.rows) {
        AppendRow(list, row);
    }
    if (result.refused) {
        // Owned by the main window so that the window waits for the answer; the empty title
        // rather than none, because without one the system would call the box "Error".
        MessageBoxW(list ? GetAncestor(list, GA_ROOT) : nullptr, L"请确定是否为优酷网站", L"", MB_OK);
    }
}

int SelectedRow(HWND list) {
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

Text RowText(HWND list, int row) {
    if (row < 0) {
        return Text();
    }
    // The control copies at most the buffer's size less one and says how much it copied:
    // a copy that fills the buffer may have been cut, so grow and ask again.
    std::wstring buffer(256, L'\0');
    for (;;) {
        LVITEMW cell = {};
        cell.iSubItem = 0;
        cell.pszText = buffer.data();
        cell.cchTextMax = static_cast<int>(buffer.size());
        const auto copied = static_cast<std::size_t>(
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell)));
        if (copied + 1 < buffer.size() || buffer.size() >= (1u << 24)) {
            buffer.resize(copied < buffer.size() ? copied : buffer.size());
            return GbkFromWide(buffer);
        }
        buffer.assign(buffer.size() * 4, L'\0');
    }
}

}  // namespace ql
