// The window skin's rules, apart from any drawing: where the four caption buttons lie, which
// point hits a button, the resize zones along the right and bottom edges, each button's
// three states and what a mouse message does to them, and colour conversion for drawing.
//
// The buttons are numbered 1 to 4 (close, minimise, the guest-book page, the software page)
// and held in index order; a button record is anything with `bounds` and `state`.
#pragma once

#include <array>
#include <cstdint>

namespace ql {

enum class ButtonState : std::int32_t { Normal = 0, Hover = 1, Pressed = 2 };

enum class ResizeZone : std::int32_t { None = 0, RightEdge = 1, BottomRightCorner = 2, BottomEdge = 4 };

// Top-left corner in client pixels of the main window, width and height.
struct ButtonRect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

inline constexpr int kSkinButtonCount = 4;

// Button `index` (1 to 4) of a window `windowWidth` pixels wide: along the top right edge, y 3,
// 19 high, each of buttons 2 to 4 ending where the one before it begins.
ButtonRect SkinButtonBounds(int index, std::int32_t windowWidth);

// Both far edges count: a button answers for (width + 1) × (height + 1) pixels, so two
// neighbours share one column (the lower index is asked first).
bool HitTestButton(const ButtonRect& button, std::int32_t x, std::int32_t y);

// The zone under (x, y) in a window of width × height; all comparisons strict.
ResizeZone ResizeZoneAt(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);

// A COLORREF (0x00BBGGRR) as the drawing classes' 0xAARRGGBB; without `useAlpha` opaque.
std::uint32_t ToArgb(std::uint32_t colorref, std::uint8_t alpha, bool useAlpha);

// What one mouse message asks of the window, after the states have changed.
struct SkinMouseEffect {
    // Buttons to redraw (1 to 4), in the order they changed; 0 ends the list.
    std::array<int, kSkinButtonCount> redraw{};
    int redrawCount = 0;
    bool showResizeCursor = false;
    bool dragWindow = false;  // move the window while the button is held
    int action = 0;           // the button whose click action runs, 0 for none

    void Redraw(int index) { redraw[static_cast<std::size_t>(redrawCount++)] = index; }
};

// Mouse moved to (x, y): the first Normal button under the point turns Hover and ends the
// scan; a Hover button that the scan reaches and that is not under the point turns Normal.
// There is no mouse-leave tracking: a button left for outside the window stays Hover.
// Stores the resize zone under the point.
template <class Button>
SkinMouseEffect SkinMouseMove(std::array<Button, kSkinButtonCount>& buttons, ResizeZone& zone, std::int32_t width,
                              std::int32_t height, std::int32_t x, std::int32_t y) {
    SkinMouseEffect effect;
    for (int i = 1; i <= kSkinButtonCount; ++i) {
        Button& b = buttons[static_cast<std::size_t>(i - 1)];
        const bool over = HitTestButton(b.bounds, x, y);
        if (over && b.state == ButtonState::Normal) {
            b.state = ButtonState::Hover;
            effect.Redraw(i);
            break;
        }
        if (!over && b.state == ButtonState::Hover) {
            b.state = ButtonState::Normal;
            effect.Redraw(i);
        }
    }
    zone = ResizeZoneAt(x, y, width, height);
    effect.showResizeCursor = zone != ResizeZone::None;
    return effect;
}

// Left button down at (x, y): the first button under the point that is not already Pressed
// becomes Pressed. Anywhere else outside the resize zones the window is dragged; inside a
// zone only the cursor is shown again (nothing is resized).
template <class Button>
SkinMouseEffect SkinButtonDown(std::array<Button, kSkinButtonCount>& buttons, ResizeZone zone, std::int32_t x,
                               std::int32_t y) {
    SkinMouseEffect effect;
    for (int i = 1; i <= kSkinButtonCount; ++i) {
        Button& b = buttons[static_cast<std::size_t>(i - 1)];
        if (HitTestButton(b.bounds, x, y) && b.state != ButtonState::Pressed) {
            b.state = ButtonState::Pressed;
            effect.Redraw(i);
            break;
        }
    }
    effect.dragWindow = effect.redrawCount == 0 && zone == ResizeZone::None;
    effect.showResizeCursor = zone != ResizeZone::None;
    return effect;
}

// Left button up at (x, y): the first Pressed button turns Normal, and its action runs when
// the release is over it. A press released outside the window never arrives here, so that
// button stays Pressed until the next release inside the window.
template <class Button>
SkinMouseEffect SkinButtonUp(std::array<Button, kSkinButtonCount>& buttons, std::int32_t x, std::int32_t y) {
    SkinMouseEffect effect;
    for (int i = 1; i <= kSkinButtonCount; ++i) {
        Button& b = buttons[static_cast<std::size_t>(i - 1)];
        if (b.state == ButtonState::Pressed) {
            b.state = ButtonState::Normal;
            effect.Redraw(i);
            if (HitTestButton(b.bounds, x, y)) {
                effect.action = i;
            }
            break;
        }
    }
    return effect;
}

}  // namespace ql
