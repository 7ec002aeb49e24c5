// The two ways a text leaves the program for the rest of the system: the shell's "open"
// (an http address opens in the default browser) and the clipboard. Also used by the
// product-page buttons.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include "text/text.h"

namespace ql {

// Hands `address` to the shell's "open" action and returns at once; whether anything
// opened is not learnt. An empty address opens nothing.
void OpenAddress(const Text& address);

// Replaces the clipboard's content with `text`, as CF_UNICODETEXT (converted from GBK, so
// every program reads it right whatever the system code page) and as CF_TEXT (the GBK
// bytes, marked with the Chinese locale). `owner` is the window that owns the clipboard
// content. Nothing happens when the clipboard stays busy.
void PutTextOnClipboard(HWND owner, const Text& text);

}  // namespace ql

#endif
