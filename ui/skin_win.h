// The window skin: the main window's own title strip (light-blue surface, thin dark frame,
// icon, title in white) and four image buttons at its top right (close, minimise, the
// guest-book page, the software page), drawn by the skin's window procedure, which also lets
// the user drag the window by its surface. The rules (layout, hit test, states, resize zones)
// are in ui/skin_rules.h; this is the drawing and the routing of messages.
//
// The skin's state is program-wide: CreateGlobals makes it before the main window is loaded,
// SetUpWindowSkin and SetSkinOptions fill it when the window exists (the program's created
// handler calls them with its pictures and actions), DestroyGlobals releases it at the end
// of the program.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <array>
#include <cstdint>

#include "graphics/canvas_win.h"
#include "graphics/plus_win.h"
#include "graphics/window_hook_win.h"
#include "text/text.h"
#include "ui/skin_rules.h"

namespace ql {

struct ImageButton {
    ButtonRect bounds;
    ButtonState state = ButtonState::Normal;
    PlusImage normalImage;
    PlusImage hoverImage;
    PlusImage pressedImage;
};

// The window rectangle with right and bottom replaced by the width and height.
struct SkinWindowSize {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

using SkinAction = void (*)();

// The resource ids (stored files, graphics/stored_file_win.h) of each button's pictures, by
// button (1 to 4 is [0] to [3]) and state (normal, hover, pressed).
using SkinButtonPictureIds = std::array<std::array<int, 3>, kSkinButtonCount>;

struct WindowSkin {
    HWND window = nullptr;
    SkinWindowSize windowSize;
    WindowHook hook;
    std::array<ImageButton, kSkinButtonCount> buttons;  // index 1 to 4 is buttons[0] to [3]
    GdiCanvas canvas;
    // The memory picture of the last full paint (canvas's): button redraws copy their
    // background from it, so it stays until the next full paint.
    HDC composedSurface = nullptr;
    std::uint32_t backgroundColor = 0;  // COLORREF; 0 stands for the light blue 0x00DEA64D
    ByteSet backgroundPicture;          // drawn over the colour when it decodes (empty here)
    ByteSet titleIcon;                  // an icon file
    PlusImage scratchImage;             // decodes the two pictures above at each full paint
    ResizeZone resizeZone = ResizeZone::None;
    SkinAction closeAction = nullptr;
    SkinAction thirdButtonAction = nullptr;
    SkinAction fourthButtonAction = nullptr;
};

// The skin's state; null before CreateGlobals and after DestroyGlobals.
WindowSkin* TheWindowSkin();

void CreateGlobals();
void DestroyGlobals();

// ---- runtime ----

// Installed as the main window's procedure. Paints and routes the mouse messages, then hands
// every message (those too) to the window's previous procedure and returns its answer.
LRESULT CALLBACK SkinWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
// Composes the whole strip in memory, copies it to the window in one go, then draws the buttons.
void PaintSkin(HWND window);
// Redraws button `index` (1 to 4) in its current state; without `useAlpha` fully opaque.
void DrawImageButton(int index, std::uint8_t alpha, bool useAlpha);
void OnSkinMouseMove(std::int32_t x, std::int32_t y);
void OnSkinButtonDown(std::int32_t x, std::int32_t y);
void OnSkinButtonUp(std::int32_t x, std::int32_t y);
void ApplyResizeCursor();
// Close (the action given to SetUpWindowSkin), minimise, then the third and fourth button's
// actions.
void RunButtonAction(int index);

// ---- set-up ----

// Takes over `window`: measures it, loads the buttons' pictures, installs the skin's
// procedure and lays the buttons out. `closeAction` is what the close button does.
void SetUpWindowSkin(HWND window, const SkinButtonPictureIds& pictures, SkinAction closeAction);
void MeasureSkinWindow();
void LoadButtonPictures(const SkinButtonPictureIds& pictures);
void LayOutSkin();
// Stores the options, then hides and shows the window once so that it repaints through the skin.
void SetSkinOptions(const ByteSet& titleIcon, const ByteSet& backgroundPicture = {}, std::uint32_t backgroundColor = 0,
                    SkinAction thirdButtonAction = nullptr, SkinAction fourthButtonAction = nullptr);

}  // namespace ql

#endif
