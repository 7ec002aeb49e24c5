// Owned WinINet and kernel handles, one line per handle type, on the program's one owner
// template (text/owned_win.h).
#pragma once

#include <windows.h>
#include <wininet.h>

#include "text/owned_win.h"

namespace ql {

using UniqueInternetHandle = UniqueHandle<HINTERNET, &::InternetCloseHandle>;
using UniqueKernelHandle = UniqueHandle<HANDLE, &::CloseHandle>;

}  // namespace ql
