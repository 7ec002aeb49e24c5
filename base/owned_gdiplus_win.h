// Owned GDI+ objects, on the program's one owner template (base/owned_win.h). GDI+ hands
// out its objects as pointers of the flat interface; each type has its own delete function.
#pragma once

#ifdef _WIN32

#include <objidl.h>
#include <windows.h>

#include <gdiplus.h>

#include "base/owned_win.h"

namespace ql {

inline void DisposePlusImage(Gdiplus::GpImage* image) noexcept { Gdiplus::DllExports::GdipDisposeImage(image); }
using UniquePlusImage = UniqueHandle<Gdiplus::GpImage*, DisposePlusImage>;
using UniquePlusBitmap = UniqueHandle<Gdiplus::GpBitmap*, DisposePlusImage>;
using UniquePlusPen = UniqueHandle<Gdiplus::GpPen*, &Gdiplus::DllExports::GdipDeletePen>;
using UniquePlusSolidFill = UniqueHandle<Gdiplus::GpSolidFill*, &Gdiplus::DllExports::GdipDeleteBrush>;
using UniquePlusFont = UniqueHandle<Gdiplus::GpFont*, &Gdiplus::DllExports::GdipDeleteFont>;
using UniquePlusFontFamily = UniqueHandle<Gdiplus::GpFontFamily*, &Gdiplus::DllExports::GdipDeleteFontFamily>;
using UniquePlusStringFormat = UniqueHandle<Gdiplus::GpStringFormat*, &Gdiplus::DllExports::GdipDeleteStringFormat>;
using UniquePlusGraphics = UniqueHandle<Gdiplus::GpGraphics*, &Gdiplus::DllExports::GdipDeleteGraphics>;

}  // namespace ql

#endif
