// The result list (a ListView in report view, one column) as the main action sees it.
// Texts are GBK; they reach the control through the wide API.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include "text/text.h"

namespace ql {

// Empties `list` and appends one row per line of `value` (see ReadResultRows), in order.
// At a line "**/" it stops and asks the user, in a modal box owned by the list's window,
// to make sure the address is one of the video site's: "请确定是否为优酷网站" with an OK
// button and an empty title.
void FillResultList(HWND list, const Text& value);

// The 0-based index of the selected row, or -1 when none is selected.
int SelectedRow(HWND list);

// The text of `row` in column 0; the empty text for a row that does not exist.
Text RowText(HWND list, int row);

}  // namespace ql

#endif
