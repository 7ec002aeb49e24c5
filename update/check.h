// The update check, bound to 图片框2 (left button pressed): asks the update-notice page
// whether a newer version exists, says so, and on the user's OK saves the announced archive
// as "qlw_sp.rar" in the program's folder.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <string>

#include "text/text.h"

namespace ql {

// Runs on the user-interface thread; the window keeps answering while the fetches wait, so
// a second check can run inside the first. `owner` owns the message boxes (the main window).
// Reports nothing else: a failed fetch or write ends the check without a word.
void CheckForUpdate(HWND owner) noexcept;

// The check's download path, after the user's OK: fetches `address` and, when the whole
// archive arrived, puts it in place of the file at `archivePath` in one step. True when the
// file now holds the archive; otherwise an earlier file is left as it was.
bool DownloadArchive(const Text& address, const std::wstring& archivePath);

// "<the program's folder>\qlw_sp.rar"; empty when the program's path cannot be read.
std::wstring ArchivePath();

}  // namespace ql

#endif
