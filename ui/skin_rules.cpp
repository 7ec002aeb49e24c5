#include "ui/skin_rules.h"

namespace ql {

namespace {

// Distance of each button's left edge from the window's right edge, and its width.
struct ButtonPlace {
    std::int32_t fromRight;
    std::int32_t width;
};
constexpr ButtonPlace kButtonPlaces[kSkinButtonCount] = {{48, 37}, {73, 25}, {98, 25}, {123, 25}};
constexpr std::int32_t kButtonTop = 3;
constexpr std::int32_t kButtonHeight = 19;

}  // namespace

ButtonRect SkinButtonBounds(int index, std::int32_t windowWidth) {
    if (index < 1 || index > kSkinButtonCount) {
        return ButtonRect{};
    }
    const ButtonPlace& place = kButtonPlaces[index - 1];
    return ButtonRect{windowWidth - place.fromRight, kButtonTop, place.width, kButtonHeight};
}

bool HitTestButton(const ButtonRect& button, std::int32_t x, std::int32_t y) {
    return button.x <= x && x <= button.x + button.width && button.y <= y && y <= button.y + button.height;
}

ResizeZone ResizeZoneAt(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
    if (x > width - 4 && y > 10 && y < height - 10) {
        return ResizeZone::RightEdge;
    }
    if (x < width - 10 && y > height - 7) {
        return ResizeZone::BottomEdge;
    }
    if (x > width - 10 && y > height - 9) {
        return ResizeZone::BottomRightCorner;
    }
    return ResizeZone::None;
}

std::uint32_t ToArgb(std::uint32_t colorref, std::uint8_t alpha, bool useAlpha) {
    const std::uint32_t a = useAlpha ? alpha : 255u;
    const std::uint32_t red = colorref & 0xFF;
    const std::uint32_t green = (colorref >> 8) & 0xFF;
    const std::uint32_t blue = (colorref >> 16) & 0xFF;
    return a << 24 | red << 16 | green << 8 | blue;
}

}  // namespace ql
