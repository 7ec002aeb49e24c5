// The program's look, shared by the main window's form and its skin.
#pragma once

#include <cstdint>

namespace ql {

// RGB(77, 166, 222) as a COLORREF (0x00BBGGRR): the window's colour, and the skin's.
inline constexpr std::uint32_t kLightBlue = 0x00DEA64D;

// Every text of the program is drawn in this face (with the GB2312 character set).
inline constexpr char kFontFace[] = "宋体";

}  // namespace ql
