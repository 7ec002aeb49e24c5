// The skin's program-wide state and its set-up when the main window has been created.
#include <memory>

#include "graphics/stored_file_win.h"
#include "ui/skin_win.h"

namespace ql {

namespace {

std::unique_ptr<WindowSkin> g_skin;

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

void SetUpWindowSkin(HWND window, const SkinButtonPictureIds& pictures, SkinAction closeAction) {
    WindowSkin* skin = TheWindowSkin();
    if (!skin || !window) {
        return;
    }
    skin->window = window;
    skin->closeAction = closeAction;
    MeasureSkinWindow();
    LoadButtonPictures(pictures);
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

void LoadButtonPictures(const SkinButtonPictureIds& pictures) {
    WindowSkin* skin = TheWindowSkin();
    PlusImage ImageButton::*const states[3] = {&ImageButton::normalImage, &ImageButton::hoverImage,
                                               &ImageButton::pressedImage};
    for (int state = 0; state < 3; ++state) {
        for (int i = 0; i < kSkinButtonCount; ++i) {
            (skin->buttons[static_cast<std::size_t>(i)].*states[state])
                .LoadFromBytes(StoredFile(pictures[static_cast<std::size_t>(i)][static_cast<std::size_t>(state)]));
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

}  // namespace ql
