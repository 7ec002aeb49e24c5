// The skin's rules without a window: the caption buttons of the 430-pixel main window, their
// inclusive hit rectangles, the resize zones' strict edges, the three-state machine under
// mouse messages (including the orders and leftovers that come from scanning buttons in index
// order without mouse-leave tracking), and the colour conversion.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "ui/skin_rules.h"

namespace ql {
namespace {

constexpr int kW = 430;  // the main window
constexpr int kH = 367;

struct Button {
    ButtonRect bounds;
    ButtonState state = ButtonState::Normal;
};

using Buttons = std::array<Button, kSkinButtonCount>;

constexpr auto N = ButtonState::Normal;
constexpr auto V = ButtonState::Hover;
constexpr auto P = ButtonState::Pressed;

Buttons LaidOut(std::array<ButtonState, 4> states) {
    Buttons b;
    for (int i = 0; i < kSkinButtonCount; ++i) {
        b[static_cast<std::size_t>(i)].bounds = SkinButtonBounds(i + 1, kW);
        b[static_cast<std::size_t>(i)].state = states[static_cast<std::size_t>(i)];
    }
    return b;
}

TEST(SkinLayout, ButtonsOfThe430PixelWindowLieAlongItsTopRight) {
    const int left[] = {382, 357, 332, 307};
    const int width[] = {37, 25, 25, 25};
    for (int i = 1; i <= 4; ++i) {
        const ButtonRect r = SkinButtonBounds(i, kW);
        EXPECT_EQ(r.x, left[i - 1]) << "button " << i;
        EXPECT_EQ(r.y, 3) << "button " << i;
        EXPECT_EQ(r.width, width[i - 1]) << "button " << i;
        EXPECT_EQ(r.height, 19) << "button " << i;
    }
    EXPECT_EQ(SkinButtonBounds(1, kW).x + SkinButtonBounds(1, kW).width, 419) << "close ends at 419";
    EXPECT_EQ(SkinButtonBounds(0, kW).width, 0) << "there is no button 0";
    EXPECT_EQ(SkinButtonBounds(5, kW).width, 0) << "there is no button 5";
}

TEST(SkinHitTest, BothFarEdgesAreInside) {
    const ButtonRect close = SkinButtonBounds(1, kW);  // 382, 3, 37 x 19
    struct Row {
        int x, y;
        bool hit;
    };
    const Row rows[] = {
        {382, 3, true},  {419, 22, true},  {400, 12, true},   // corners and middle
        {381, 3, false}, {420, 3, false},                     // beside
        {382, 2, false}, {382, 23, false}, {419, 23, false},  // above, below
    };
    for (const Row& r : rows) {
        EXPECT_EQ(HitTestButton(close, r.x, r.y), r.hit) << r.x << "," << r.y;
    }
}

TEST(SkinResizeZones, EdgesAreStrict) {
    struct Row {
        int x, y;
        ResizeZone zone;
    };
    const Row rows[] = {
        {427, 11, ResizeZone::RightEdge},
        {427, 356, ResizeZone::RightEdge},
        {426, 100, ResizeZone::None},  // x = W - 4 is not in the right edge
        {427, 10, ResizeZone::None},   // y = 10
        {427, 357, ResizeZone::None},  // y = H - 10
        {419, 361, ResizeZone::BottomEdge},
        {0, 366, ResizeZone::BottomEdge},
        {419, 360, ResizeZone::None},  // y = H - 7
        {420, 366, ResizeZone::None},  // x = W - 10: neither bottom edge nor corner
        {421, 359, ResizeZone::BottomRightCorner},
        {429, 366, ResizeZone::BottomRightCorner},
        {428, 358, ResizeZone::None},  // y = H - 9, below the right edge's reach
        {200, 10, ResizeZone::None},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(ResizeZoneAt(r.x, r.y, kW, kH), r.zone) << r.x << "," << r.y;
    }
}

enum class Event { Move, Down, Up };

struct Transition {
    const char* what;
    std::array<ButtonState, 4> before;
    ResizeZone zone;  // as the last mouse move left it (Down reads it)
    Event event;
    int x, y;
    std::array<ButtonState, 4> after;
    std::vector<int> redrawn;
    bool drag;
    int action;
};

// Points: 400,12 on close only; 370,12 on minimise only; 345,12 on the third button only;
// 382,12 on the column that close and minimise share; 200,100 on the bare surface.
const Transition kTransitions[] = {
    {"move onto a button", {N, N, N, N}, ResizeZone::None, Event::Move, 370, 12, {N, V, N, N}, {2}, false, 0},
    {"move to a lower neighbour: the one left stays lit until the next move",
     {N, V, N, N},
     ResizeZone::None,
     Event::Move,
     400,
     12,
     {V, V, N, N},
     {1},
     false,
     0},
    {"...which puts it out", {V, V, N, N}, ResizeZone::None, Event::Move, 400, 13, {V, N, N, N}, {2}, false, 0},
    {"move to a higher neighbour: both change in one message",
     {V, N, N, N},
     ResizeZone::None,
     Event::Move,
     370,
     12,
     {N, V, N, N},
     {1, 2},
     false,
     0},
    {"the shared column lights the lower index",
     {N, N, N, N},
     ResizeZone::None,
     Event::Move,
     382,
     12,
     {V, N, N, N},
     {1},
     false,
     0},
    {"move off every button", {N, N, V, N}, ResizeZone::None, Event::Move, 200, 100, {N, N, N, N}, {3}, false, 0},
    {"moving over a hovered button changes nothing",
     {N, N, V, N},
     ResizeZone::None,
     Event::Move,
     345,
     13,
     {N, N, V, N},
     {},
     false,
     0},
    {"a pressed button stays pressed under moves",
     {P, N, N, N},
     ResizeZone::None,
     Event::Move,
     200,
     100,
     {P, N, N, N},
     {},
     false,
     0},
    {"press a hovered button", {N, V, N, N}, ResizeZone::None, Event::Down, 370, 12, {N, P, N, N}, {2}, false, 0},
    {"press a button that was never lit",
     {N, N, N, N},
     ResizeZone::None,
     Event::Down,
     345,
     12,
     {N, N, P, N},
     {3},
     false,
     0},
    {"press the bare surface: drag", {N, N, N, N}, ResizeZone::None, Event::Down, 200, 100, {N, N, N, N}, {}, true, 0},
    {"press inside a resize zone: neither drag nor press",
     {N, N, N, N},
     ResizeZone::RightEdge,
     Event::Down,
     428,
     100,
     {N, N, N, N},
     {},
     false,
     0},
    {"press a button left pressed by a release outside: drag instead",
     {P, N, N, N},
     ResizeZone::None,
     Event::Down,
     400,
     12,
     {P, N, N, N},
     {},
     true,
     0},
    {"...on the shared column the neighbour takes the press",
     {P, N, N, N},
     ResizeZone::None,
     Event::Down,
     382,
     12,
     {P, P, N, N},
     {2},
     false,
     0},
    {"release over the pressed button: its action",
     {N, P, N, N},
     ResizeZone::None,
     Event::Up,
     370,
     12,
     {N, N, N, N},
     {2},
     false,
     2},
    {"release elsewhere: no action", {P, N, N, N}, ResizeZone::None, Event::Up, 200, 100, {N, N, N, N}, {1}, false, 0},
    {"release with two pressed: only the first is released",
     {P, P, N, N},
     ResizeZone::None,
     Event::Up,
     370,
     12,
     {N, P, N, N},
     {1},
     false,
     0},
    {"release with nothing pressed", {N, V, N, N}, ResizeZone::None, Event::Up, 370, 12, {N, V, N, N}, {}, false, 0},
};

TEST(SkinButtonStates, EveryTransition) {
    for (const Transition& t : kTransitions) {
        SCOPED_TRACE(t.what);
        Buttons b = LaidOut(t.before);
        ResizeZone zone = t.zone;
        SkinMouseEffect e;
        switch (t.event) {
            case Event::Move:
                e = SkinMouseMove(b, zone, kW, kH, t.x, t.y);
                break;
            case Event::Down:
                e = SkinButtonDown(b, zone, t.x, t.y);
                break;
            case Event::Up:
                e = SkinButtonUp(b, t.x, t.y);
                break;
        }
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(b[static_cast<std::size_t>(i)].state, t.after[static_cast<std::size_t>(i)]) << "button " << i + 1;
        }
        EXPECT_EQ(std::vector<int>(e.redraw.begin(), e.redraw.begin() + e.redrawCount), t.redrawn);
        EXPECT_EQ(e.dragWindow, t.drag);
        EXPECT_EQ(e.action, t.action);
    }
}

TEST(SkinButtonStates, MovesKeepTheResizeZoneAndAskForItsCursor) {
    Buttons b = LaidOut({N, N, N, N});
    ResizeZone zone = ResizeZone::None;
    EXPECT_TRUE(SkinMouseMove(b, zone, kW, kH, 421, 359).showResizeCursor);
    EXPECT_EQ(zone, ResizeZone::BottomRightCorner);
    EXPECT_TRUE(SkinButtonDown(b, zone, 421, 359).showResizeCursor) << "a press in the zone shows it again";
    EXPECT_FALSE(SkinMouseMove(b, zone, kW, kH, 200, 100).showResizeCursor);
    EXPECT_EQ(zone, ResizeZone::None);
}

TEST(SkinColours, ColorrefToArgb) {
    struct Row {
        std::uint32_t colorref;
        std::uint8_t alpha;
        bool useAlpha;
        std::uint32_t argb;
    };
    const Row rows[] = {
        {0x000000, 155, true, 0x9B000000},  {0xFFFFFF, 255, true, 0xFFFFFFFF},
        {0x00DEA64D, 0, false, 0xFF4DA6DE},  // light blue: without alpha it is opaque
        {0x123456, 7, true, 0x07563412},     // red and blue change places
        {0xAB123456, 0, true, 0x00563412},   // the COLORREF's top byte is not alpha
    };
    for (const Row& r : rows) {
        EXPECT_EQ(ToArgb(r.colorref, r.alpha, r.useAlpha), r.argb) << std::hex << r.colorref;
    }
}

}  // namespace
}  // namespace ql
