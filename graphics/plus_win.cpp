#include "graphics/plus_win.h"

#include <cstring>

#include "graphics/drawing_log.h"
#include "text/wide.h"

namespace ql {

namespace {

using namespace Gdiplus::DllExports;

}  // namespace

bool GlobalMemoryStream::CreateFromBytes(const void* bytes, std::size_t count) {
    Release();
    UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, count));
    if (!block) {
        return false;
    }
    if (count > 0) {
        GlobalLockScope lock(block.get());
        if (lock.data() == nullptr) {
            return false;
        }
        std::memcpy(lock.data(), bytes, count);
    }
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(block.get(), FALSE, stream.put()))) {
        return false;
    }
    block_ = std::move(block);
    stream_ = std::move(stream);
    return true;
}

void GlobalMemoryStream::Release() {
    stream_.reset();
    block_.reset();
}

bool PlusImage::LoadFromBytes(const ByteSet& bytes, bool useColorManagement) {
    Dispose();
    if (!stream_.CreateFromBytes(bytes.data(), bytes.size())) {
        return StorePlus(Gdiplus::OutOfMemory);
    }
    const Gdiplus::GpStatus status = useColorManagement ? GdipLoadImageFromStreamICM(stream_.get(), image_.put())
                                                        : GdipLoadImageFromStream(stream_.get(), image_.put());
    if (status != Gdiplus::Ok) {
        stream_.Release();
    }
    return StorePlus(status);
}

void PlusImage::Dispose() {
    image_.reset();
    stream_.Release();
}

bool PlusPen::Create(Gdiplus::ARGB argbColor, float width, Gdiplus::GpUnit unit) {
    const Gdiplus::GpStatus status = GdipCreatePen1(argbColor, width, unit, pen_.put());
    return StorePlus(status);
}

bool PlusSolidBrush::Create(Gdiplus::ARGB argbColor) {
    const Gdiplus::GpStatus status = GdipCreateSolidFill(argbColor, brush_.put());
    return StorePlus(status);
}

bool PlusFontFamily::CreateFromName(const Text& familyName) {
    const std::wstring name = WideFromGbk(familyName);
    const Gdiplus::GpStatus status = GdipCreateFontFamilyFromName(name.c_str(), nullptr, family_.put());
    return StorePlus(status);
}

bool PlusFontFamily::CreateGenericSansSerif() {
    family_.reset();
    return StorePlus(GdipGetGenericFontFamilySansSerif(family_.put()));
}

bool PlusFont::CreateGenericSansSerif(float size, int style, Gdiplus::GpUnit unit) {
    font_.reset();
    PlusFontFamily family;
    if (!family.CreateGenericSansSerif()) {
        return false;
    }
    return StorePlus(GdipCreateFont(family.get(), size, style, unit, font_.put()));
}

bool PlusFont::CreateMappedSansSerif(HDC dc, int pixels, bool bold) {
    font_.reset();
    LOGFONTW wanted = {};
    wanted.lfHeight = -pixels;
    wanted.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    wanted.lfCharSet = GB2312_CHARSET;
    wanted.lfOutPrecision = OUT_TT_PRECIS;
    wanted.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    return StorePlus(GdipCreateFontFromLogfontW(dc, &wanted, font_.put()));
}

bool PlusFont::CreateByName(const Text& familyName, float size, int style, Gdiplus::GpUnit unit) {
    font_.reset();
    PlusFontFamily family;
    if (!family.CreateFromName(familyName)) {
        return false;
    }
    const Gdiplus::GpStatus status = GdipCreateFont(family.get(), size, style, unit, font_.put());
    return StorePlus(status);
}

}  // namespace ql
