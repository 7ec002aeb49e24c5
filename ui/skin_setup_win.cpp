// The skin's program-wide state and its set-up when the main window has been created.
#include <memory>

#include "app/main_window.h"
#include "app/resource_ids.h"
#include "resolve/shell.h"
#include "ui/skin_win.h"

namespace ql {

namespace {

std::unique_ptr<WindowSkin> g_skin;

// The button pictures by button (1 to 4) and state (normal, hover, pressed).
constexpr int kButtonPictures[kSkinButtonCount][3] = {
    {QL_DATA_BTN_CLOSE_NORMAL, QL_DATA_BTN_CLOSE_HOVER, QL_DATA_BTN_CLOSE_PRESSED},
    {QL_DATA_BTN_MIN_NORMAL, QL_DATA_BTN_MIN_HOVER, QL_DATA_BTN_MIN_PRESSED},
    {QL_DATA_BTN_PAGE_NORMAL, QL_DATA_BTN_PAGE_HOVER, QL_DATA_BTN_PAGE_PRESSED},
    {QL_DATA_BTN_GUEST_NORMAL, QL_DATA_BTN_GUEST_HOVER, QL_DATA_BTN_GUEST_PRESSED},
};

// A file stored in the program (RCDATA) as bytes; empty when it is not there.
ByteSet StoredFile(int resourceId) {
    HMODULE program = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(program, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    HGLOBAL loaded = found ? LoadResource(program, found) : nullptr;
    const auto* bytes = static_cast<const std::uint8_t*>(loaded ? LockResource(loaded) : nullptr);
    const DWORD size = found ? SizeofResource(program, found) : 0;
    return bytes ? ByteSet(bytes, bytes + size) : ByteSet();
}

}  // namespace

WindowSkin* TheWindowSkin() { return g_skin.get(); }

void CreateGlobals() { g_skin = std::make_unique<WindowSkin>(); }

void DestroyGlobals() {
    if (!g_skin) {
        return;
    }
    // The pictures button by button, then the canvas and the scratch picture; the pictures'
    // bytes and the rest go with the record.
    for (ImageButton& button : g_skin->buttons) {
        button.normalImage.Dispose();
        button.hoverImage.Dispose();
        button.pressedImage.Dispose();
    }
    g_skin->canvas.Release();
    g_skin->composedSurface = nullptr;
    g_skin->scratchImage.Dispose();
    g_skin.reset();
}

void OnMainWindowCreated() {
    SetUpWindowSkin(MainWindowHandle());
    SetSkinOptions(StoredFile(QL_DATA_TITLE_ICON), {}, 0, OpenGuestbookPage, OpenSoftwarePage);
}

void SetUpWindowSkin(HWND window) {
    WindowSkin* skin = TheWindowSkin();
    if (!skin || !window) {
        return;
    }
    skin->window = window;
    MeasureSkinWindow();
    LoadButtonPictures();
    skin->hook.Subclass(window, SkinWindowProc);
    LayOutSkin();
}

void MeasureSkinWindow() {
    WindowSkin* skin = TheWindowSkin();
    RECT r{};
    GetWindowRect(skin->window, &r);
    // The window is measured once: the skin does not resize it.
    skin->windowSize = SkinWindowSize{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void LoadButtonPictures() {
    WindowSkin* skin = TheWindowSkin();
    PlusImage ImageButton::*const states[3] = {&ImageButton::normalImage, &ImageButton::hoverImage,
                                               &ImageButton::pressedImage};
    for (int state = 0; state < 3; ++state) {
        for (int i = 0; i < kSkinButtonCount; ++i) {
            (skin->buttons[static_cast<std::size_t>(i)].*states[state])
                .LoadFromBytes(StoredFile(kButtonPictures[i][state]));
        }
    }
}

void LayOutSkin() {
    WindowSkin* skin = TheWindowSkin();
    const std::int32_t w = skin->windowSize.width;
    const std::int32_t h = skin->windowSize.height;
    skin->hook.SetRoundRectRegion(2, 2, w - 1, h - 3, 3, 3);
    for (int i = 1; i <= kSkinButtonCount; ++i) {
        skin->buttons[static_cast<std::size_t>(i - 1)].bounds = SkinButtonBounds(i, w);
    }
}

void SetSkinOptions(const ByteSet& titleIcon, const ByteSet& backgroundPicture, std::uint32_t backgroundColor,
                    SkinAction thirdButtonAction, SkinAction fourthButtonAction) {
    WindowSkin* skin = TheWindowSkin();
    if (!skin) {
        return;
    }
    skin->titleIcon = titleIcon;
    skin->backgroundPicture = backgroundPicture;
    skin->backgroundColor = backgroundColor;
    skin->thirdButtonAction = thirdButtonAction;
    skin->fourthButtonAction = fourthButtonAction;
    // Hidden and shown once, so that the whole window repaints through the skin.
    for (int i = 0; i < 2; ++i) {
        ShowWindow(skin->window, IsWindowVisible(skin->window) ? SW_HIDE : SW_SHOW);
    }
}

void OpenGuestbookPage() { OpenAddress(Text(QINGLAN_SITE "/index.php?s=gb-show.html")); }

void OpenSoftwarePage() { OpenAddress(Text(QINGLAN_SITE "/my-show-id-soft.html")); }

}  // namespace ql
