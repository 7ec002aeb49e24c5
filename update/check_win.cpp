#include "update/check.h"

#include <algorithm>
#include <string>
#include <utility>

#include "base/owned_win.h"
#include "text/wide.h"
#include "update/notice.h"
#include "update/settings.h"
#include "web/timed_request.h"

namespace ql {

namespace {

// Both fetches are plain GETs with nothing but the address; only the response headers are
// read back, to tell a whole answer from an error page or a cut-off body.
ByteSet Fetch(const Text& address, Text& headers) {
    return TimedHttpRequest(address, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                            UpdateFetchLimitSeconds(), &headers);
}

int ShowUpdateBox(HWND owner, const char* text, UINT buttons) {
    return MessageBoxW(owner, WideFromGbk(text).c_str(), WideFromGbk(kUpdateBoxTitle).c_str(), buttons);
}

// A new, empty file beside `path` whose name no other write uses: checks nested inside one
// another, or in two copies of the program, each get their own.
UniqueKernelHandle CreatePendingFile(const std::wstring& path, PendingFile& pending) {
    static unsigned serial = 0;  // the user-interface thread's only
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring name =
            path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial) + L".part";
        const HANDLE file =
            CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            pending.Track(std::move(name));
            return UniqueKernelHandle(file);
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    return UniqueKernelHandle();
}

// Writes `data` to a new file beside `path`, then moves it over `path` in one step, so the
// file at `path` is at every moment either the earlier one or the whole new one. On any
// failure the earlier file stays and the new one is removed.
bool ReplaceFileWhole(const std::wstring& path, const ByteSet& data) {
    PendingFile pending;  // declared first: the handle below closes before the file is removed
    UniqueKernelHandle file = CreatePendingFile(path, pending);
    if (!file) {
        return false;
    }
    const std::uint8_t* next = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file.get(), next, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        next += written;
        left -= written;
    }
    // On the disk before the name points at it: the move must never expose a file whose
    // bytes are still on their way.
    if (!FlushFileBuffers(file.get())) {
        return false;
    }
    file.reset();
    if (!MoveFileExW(pending.path().c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return false;
    }
    pending.Keep();
    return true;
}

void CheckForUpdateUnguarded(HWND owner) {
    Text headers;
    const ByteSet page = Fetch(UpdateNoticeAddress(), headers);
    const UpdateNotice notice = ReadUpdateNotice(page, headers);
    switch (notice.verdict) {
        case UpdateVerdict::NoAnswer:
            return;
        case UpdateVerdict::UpToDate:
            ShowUpdateBox(owner, kUpToDateText, MB_OK);
            return;
        case UpdateVerdict::NewVersion:
            break;
    }
    // Cancel, and closing the box, both come back as IDCANCEL.
    if (ShowUpdateBox(owner, kNewVersionText, MB_OKCANCEL) != IDOK) {
        return;
    }
    // A page that names no archive has nothing to download.
    if (TextTrim(notice.archiveAddress).empty()) {
        return;
    }
    const std::wstring path = ArchivePath();
    if (!path.empty()) {
        DownloadArchive(notice.archiveAddress, path);
    }
}

}  // namespace

std::wstring ArchivePath() {
    std::wstring module(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
        if (n == 0) {
            return std::wstring();
        }
        if (n < module.size()) {
            module.resize(n);
            break;
        }
        if (module.size() >= 32768) {  // the longest path the system has
            return std::wstring();
        }
        module.resize(module.size() * 2);  // cut short: ask again with more room
    }
    const std::size_t slash = module.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        return std::wstring();
    }
    return module.substr(0, slash) + L"\\" + WideFromGbk(kArchiveFileName);
}

bool DownloadArchive(const Text& address, const std::wstring& archivePath) {
    Text headers;
    const ByteSet archive = Fetch(address, headers);
    // An error page, a cut-off body or the runner's time-out notice is not the archive.
    if (!FetchComplete(archive, headers)) {
        return false;
    }
    return ReplaceFileWhole(archivePath, archive);
}

void CheckForUpdate(HWND owner) noexcept {
    try {
        CheckForUpdateUnguarded(owner);
    } catch (...) {
        // Only memory can run out (for a text, a path or the archive): the check ends quietly.
    }
}

}  // namespace ql
