// The few texts outside ASCII that the routines reading outside input look for.
//
// Every build of the program compiles narrow literals to GBK (-fexec-charset=GBK). The fuzzing
// build's compiler cannot, so it defines QL_GBK_MARKERS_AS_BYTES and takes the same texts
// spelled as GBK bytes, and the routines it fuzzes are the program's own. Everywhere else the
// literal is taken, and compared with the spelled bytes while compiling: a spelling that
// differs from the literal stops the build.
#pragma once

namespace ql {

constexpr bool SameBytes(const char* a, const char* b) {
    for (; *a != '\0' && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}

}  // namespace ql

// The value of a constexpr pointer: QL_GBK_MARKER("真", "\xD5\xE6").
#ifdef QL_GBK_MARKERS_AS_BYTES
#define QL_GBK_MARKER(literal, bytes) (bytes)
#else
#define QL_GBK_MARKER(literal, bytes) \
    (::ql::SameBytes(literal, bytes) ? (literal) : throw "the GBK bytes differ from the literal")
#endif

namespace ql {

// In delimiter texts, the token that stands for a double quote.
inline constexpr const char* kQuoteToken = QL_GBK_MARKER("#引号", "#\xD2\xFD\xBA\xC5");
// The request record's switch values.
inline constexpr const char* kFollowRedirectsText = QL_GBK_MARKER("真", "\xD5\xE6");
inline constexpr const char* kRefuseRedirectsText = QL_GBK_MARKER("假", "\xBC\xD9");

}  // namespace ql
