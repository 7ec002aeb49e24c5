// The one edge between the program's GBK texts and the wide (UTF-16) Windows API.
//
// Every text the program shows or hands to the system goes through these two routines, which
// name code page 936 explicitly: with the …A entry points the system's own ANSI code page
// would decide, and every Chinese text would be garbled on a system whose code page is not 936.
#pragma once

#ifdef _WIN32

#include <string>
#include <string_view>

#include "text/text.h"

namespace ql {

// GBK bytes to UTF-16. An invalid byte sequence becomes the system's replacement character.
std::wstring WideFromGbk(const Text& text);
// UTF-16 to GBK bytes; a character without a GBK form becomes "?".
Text GbkFromWide(std::wstring_view wide);

}  // namespace ql

#endif
