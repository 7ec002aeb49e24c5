// Thin classes over the GDI+ flat interface, one native object each, held through its owner
// (base/owned_gdiplus_win.h). Every create or load first deletes the object held, then stores
// the call's Status in lastPlusStatus, and succeeds exactly when that Status is Ok (a failed
// create leaves the object empty). The objects can be moved but not copied: a copy would be
// a second owner of the same native object.
#pragma once

#ifdef _WIN32

#include <objidl.h>
#include <windows.h>

#include <gdiplus.h>

#include "base/owned_gdiplus_win.h"
#include "base/owned_win.h"
#include "graphics/drawing_log.h"
#include "text/text.h"

namespace ql {

// Remembers a GDI+ call's Status as the last one (lastPlusStatus); true exactly when it is Ok.
inline bool StorePlus(Gdiplus::GpStatus status) { return StorePlusStatus(static_cast<std::int32_t>(status)); }

// The common base: every drawing object can hand out its native handle (null when empty)
// and delete its native object.
class PlusObject {
public:
    PlusObject() = default;
    virtual ~PlusObject() = default;
    PlusObject(const PlusObject&) = delete;
    PlusObject& operator=(const PlusObject&) = delete;

    virtual void Destroy() = 0;
    virtual void* GetHandle() const = 0;

protected:
    PlusObject(PlusObject&&) = default;
    PlusObject& operator=(PlusObject&&) = default;
};

// A COM stream over a block of global memory, for decoding a picture held in memory. A
// picture decoded from a stream keeps reading it, so the stream lives as long as the picture.
class GlobalMemoryStream {
public:
    GlobalMemoryStream() = default;
    GlobalMemoryStream(GlobalMemoryStream&&) = default;
    GlobalMemoryStream& operator=(GlobalMemoryStream&&) = default;

    // A stream holding a copy of `bytes` (an empty stream for no bytes); false when memory
    // or the stream could not be had.
    bool CreateFromBytes(const void* bytes, std::size_t count);
    void Release();
    IStream* get() const { return stream_.get(); }

private:
    UniqueGlobal block_;  // the stream does not free it: released after the stream
    ComPtr<IStream> stream_;
};

class PlusImage : public PlusObject {
public:
    PlusImage() = default;
    PlusImage(PlusImage&&) = default;
    PlusImage& operator=(PlusImage&&) = default;

    // Decodes a picture file held in memory (PNG, icon, …). An empty byte set fails.
    bool LoadFromBytes(const ByteSet& bytes, bool useColorManagement = false);
    void Dispose();
    void Destroy() override { Dispose(); }
    void* GetHandle() const override { return image_.get(); }
    Gdiplus::GpImage* get() const { return image_.get(); }

private:
    GlobalMemoryStream stream_;  // declared first: the picture goes before its stream
    UniquePlusImage image_;
};

class PlusPen : public PlusObject {
public:
    PlusPen() = default;
    PlusPen(PlusPen&&) = default;
    PlusPen& operator=(PlusPen&&) = default;

    bool Create(Gdiplus::ARGB argbColor, float width, Gdiplus::GpUnit unit);
    void Delete() { pen_.reset(); }
    void Destroy() override { Delete(); }
    void* GetHandle() const override { return pen_.get(); }
    Gdiplus::GpPen* get() const { return pen_.get(); }

private:
    UniquePlusPen pen_;
};

class PlusSolidBrush : public PlusObject {
public:
    PlusSolidBrush() = default;
    PlusSolidBrush(PlusSolidBrush&&) = default;
    PlusSolidBrush& operator=(PlusSolidBrush&&) = default;

    bool Create(Gdiplus::ARGB argbColor);
    void Delete() { brush_.reset(); }
    void Destroy() override { Delete(); }
    void* GetHandle() const override { return brush_.get(); }
    Gdiplus::GpSolidFill* get() const { return brush_.get(); }

private:
    UniquePlusSolidFill brush_;
};

class PlusFontFamily : public PlusObject {
public:
    PlusFontFamily() = default;
    PlusFontFamily(PlusFontFamily&&) = default;
    PlusFontFamily& operator=(PlusFontFamily&&) = default;

    // The installed family of that name (GBK, converted with code page 936).
    bool CreateFromName(const Text& familyName);
    // The system's default sans-serif family.
    bool CreateGenericSansSerif();
    void Delete() { family_.reset(); }
    void Destroy() override { Delete(); }
    void* GetHandle() const override { return family_.get(); }
    Gdiplus::GpFontFamily* get() const { return family_.get(); }

private:
    UniquePlusFontFamily family_;
};

class PlusFont : public PlusObject {
public:
    PlusFont() = default;
    PlusFont(PlusFont&&) = default;
    PlusFont& operator=(PlusFont&&) = default;

    // A font of the named family, through a family object that lives for this call only.
    bool CreateByName(const Text& familyName, float size, int style, Gdiplus::GpUnit unit);
    // The same in the system's default sans-serif family.
    bool CreateGenericSansSerif(float size, int style, Gdiplus::GpUnit unit);
    // The sans-serif font that the system's font mapper picks on `dc` for Chinese (GBK) text,
    // `pixels` high, bold or regular.
    bool CreateMappedSansSerif(HDC dc, int pixels, bool bold);
    void Delete() { font_.reset(); }
    void Destroy() override { Delete(); }
    void* GetHandle() const override { return font_.get(); }
    Gdiplus::GpFont* get() const { return font_.get(); }

private:
    UniquePlusFont font_;
};

// Holds no format unless one is made: an empty object stands for the default format.
class PlusStringFormat : public PlusObject {
public:
    PlusStringFormat() = default;
    PlusStringFormat(PlusStringFormat&&) = default;
    PlusStringFormat& operator=(PlusStringFormat&&) = default;

    void Delete() { format_.reset(); }
    void Destroy() override { Delete(); }
    void* GetHandle() const override { return format_.get(); }
    Gdiplus::GpStringFormat* get() const { return format_.get(); }

private:
    UniquePlusStringFormat format_;
};

}  // namespace ql

#endif
