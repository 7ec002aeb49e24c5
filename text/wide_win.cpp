#include "text/wide.h"

#include "text/codepage.h"

namespace ql {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the wide Windows API takes UTF-16 units");

std::wstring WideFromGbk(const Text& text) {
    const std::u16string units = DecodeCodePage(kCodePageGbk, text.view());
    return std::wstring(units.begin(), units.end());
}

Text GbkFromWide(std::wstring_view wide) {
    const std::u16string_view units(reinterpret_cast<const char16_t*>(wide.data()), wide.size());
    return Text(EncodeCodePage(kCodePageGbk, units).bytes);  // an embedded U+0000 ends the text
}

}  // namespace ql
