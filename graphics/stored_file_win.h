// Files stored in the program (resources), and the system's own resource numbers.
//
// The program is built without UNICODE, so the system headers spell RT_RCDATA and the IDC_
// cursors as narrow resource names (MAKEINTRESOURCEA), which the wide calls it makes cannot
// take; they are written here as the numbers behind them, once.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include "text/text.h"

namespace ql {

inline constexpr WORD kResourceTypeRcData = 10;  // RT_RCDATA: a file kept as its bytes

inline constexpr WORD kCursorArrow = 32512;     // IDC_ARROW
inline constexpr WORD kCursorSizeNwse = 32642;  // IDC_SIZENWSE
inline constexpr WORD kCursorSizeWe = 32644;    // IDC_SIZEWE
inline constexpr WORD kCursorSizeNs = 32645;    // IDC_SIZENS

// The bytes of file `resourceId` stored in the program file (RCDATA); empty when it is not
// there. They are copied: the caller may keep them as long as it likes.
ByteSet StoredFile(int resourceId);

}  // namespace ql

#endif
