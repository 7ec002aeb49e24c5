// The result list on a real ListView, the refusal box as the system shows it, and the
// clipboard as other programs read it.
#include "resolve/result_list.h"
#include "resolve/shell.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace ql {
namespace {

// A top-level window holding a one-column report-view list, like the main window's.
class ListWindow {
public:
    ListWindow() {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        frame_ = CreateWindowExW(0, L"STATIC", L"result list test", WS_POPUP | WS_VISIBLE, 10, 10, 420, 200, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
        list_ = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL, 0, 0, 400,
                                180, frame_, nullptr, GetModuleHandleW(nullptr), nullptr);
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = 385;
        column.pszText = const_cast<wchar_t*>(L"网站");
        SendMessageW(list_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    }
    ~ListWindow() { DestroyWindow(frame_); }
    HWND frame() const { return frame_; }
    HWND list() const { return list_; }

    std::vector<std::wstring> Rows() const {
        std::vector<std::wstring> rows;
        const int n = static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            wchar_t buffer[512] = {};
            LVITEMW cell = {};
            cell.pszText = buffer;
            cell.cchTextMax = 512;
            SendMessageW(list_, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&cell));
            rows.emplace_back(buffer);
        }
        return rows;
    }
    void Select(int row) {
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = row >= 0 ? LVIS_SELECTED | LVIS_FOCUSED : 0;
        SendMessageW(list_, LVM_SETITEMSTATE, row >= 0 ? row : -1, reinterpret_cast<LPARAM>(&state));
    }

private:
    HWND frame_ = nullptr;
    HWND list_ = nullptr;
};

// Watches, from its own thread, for message boxes of this process while the test thread sits
// in the box's modal loop; records each box's title, text and owner and answers it with OK.
class BoxWatcher {
public:
    struct Box {
        std::wstring title, text;
        HWND owner;
    };
    BoxWatcher() : thread_([this] { Run(); }) {}
    ~BoxWatcher() {
        stop_ = true;
        thread_.join();
    }
    // Waits a little for boxes that may still be on their way, then returns what was seen.
    std::vector<Box> Seen() {
        Sleep(50);
        stop_ = true;
        thread_.join();
        thread_ = std::thread([] {});
        return boxes_;
    }

private:
    void Run() {
        while (!stop_) {
            HWND box = FindWindowW(L"#32770", nullptr);
            if (box != nullptr) {
                DWORD pid = 0;
                GetWindowThreadProcessId(box, &pid);
                if (pid == GetCurrentProcessId() && IsWindowVisible(box)) {
                    wchar_t title[256] = {}, text[256] = {};
                    GetWindowTextW(box, title, 256);
                    GetDlgItemTextW(box, 0xFFFF, text, 256);  // the box's message is the static with id -1
                    boxes_.push_back({title, text, GetWindow(box, GW_OWNER)});
                    PostMessageW(box, WM_COMMAND, IDOK, 0);
                    for (int i = 0; i < 200 && IsWindow(box); ++i) {
                        Sleep(10);
                    }
                }
            }
            Sleep(10);
        }
    }
    std::atomic<bool> stop_{false};
    std::vector<Box> boxes_;
    std::thread thread_;
};

TEST(FillResultList, Table) {
    using Rows = std::vector<std::wstring>;
    struct Case {
        Text value;
        Rows rows;
        bool asks;
    } cases[] = {
        {"u1\r\nu2", {L"u1", L"u2"}, false},
        {"u1\r\n**/\r\nu2", {L"u1"}, true},
        {"**/", {}, true},
        {"a**/b\r\n **/", {L"a**/b", L" **/"}, false},
        {"", {}, false},
        {"http://m.test/1.mp4\r\n", {L"http://m.test/1.mp4"}, false},
        {"视频一\r\n\r\n视频二", {L"视频一", L"", L"视频二"}, false},
    };
    ListWindow window;
    for (const Case& c : cases) {
        FillResultList(window.list(), "stale row\r\nanother stale row");
        BoxWatcher watcher;
        FillResultList(window.list(), c.value);
        const std::vector<BoxWatcher::Box> boxes = watcher.Seen();
        EXPECT_EQ(window.Rows(), c.rows) << "value '" << c.value.str() << "'";
        ASSERT_EQ(boxes.size(), c.asks ? 1u : 0u) << "value '" << c.value.str() << "'";
        if (c.asks) {
            EXPECT_EQ(boxes[0].text, L"请确定是否为优酷网站");
            EXPECT_EQ(boxes[0].title, L"");
            EXPECT_EQ(boxes[0].owner, window.frame());
        }
    }
}

TEST(ResultList, SelectedRowAndItsText) {
    ListWindow window;
    EXPECT_EQ(SelectedRow(window.list()), -1);  // empty list
    EXPECT_EQ(RowText(window.list(), -1).str(), "");
    const std::string longRow = "http://m.test/" + std::string(3000, 'a') + ".mp4";
    FillResultList(window.list(), Text(TextJoin("u1\r\n视频\r\n", longRow)));
    EXPECT_EQ(SelectedRow(window.list()), -1);  // rows, none selected
    window.Select(1);
    EXPECT_EQ(SelectedRow(window.list()), 1);
    EXPECT_EQ(RowText(window.list(), 1).str(), "视频");
    window.Select(2);
    EXPECT_EQ(RowText(window.list(), 2).str(), longRow);  // longer than the first read buffer
    EXPECT_EQ(RowText(window.list(), 7).str(), "");
}

std::wstring ClipboardUnicode() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) {
        return L"<clipboard busy>";
    }
    if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const wchar_t*>(GlobalLock(h));
        GlobalUnlock(h);
    } else {
        text = L"<no CF_UNICODETEXT>";
    }
    CloseClipboard();
    return text;
}

std::string ClipboardAnsi() {
    std::string text;
    if (!OpenClipboard(nullptr)) {
        return "<clipboard busy>";
    }
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        text = static_cast<const char*>(GlobalLock(h));
        GlobalUnlock(h);
    }
    CloseClipboard();
    return text;
}

TEST(Clipboard, HoldsTheTextAsUnicodeAndAsGbk) {
    ListWindow window;
    struct Case {
        Text text;
        const wchar_t* unicode;
    } cases[] = {
        {"http://127.0.0.1:47615/media/a1/part1.mp4", L"http://127.0.0.1:47615/media/a1/part1.mp4"},
        {"http://视频.test/第1集", L"http://视频.test/第1集"},
        {"", L""},
    };
    for (const Case& c : cases) {
        PutTextOnClipboard(window.frame(), "something older");
        PutTextOnClipboard(window.frame(), c.text);
        EXPECT_EQ(ClipboardUnicode(), c.unicode);
        EXPECT_EQ(ClipboardAnsi(), c.text.str());
    }
}

}  // namespace
}  // namespace ql
