// Media addresses in free text: a script, a JSON or text body, an attribute value.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ql::service {

// The escapes scripts put in addresses undone: "\u00XX" and "\xXX" become their character,
// then "\/" becomes "/".
std::string UnescapeScript(std::string_view text);

// The addresses of media files in UTF-8 text, in order of appearance (escapes undone first):
// whole quoted strings that are such an address, absolute, scheme-relative, root-relative or
// with "./" or "../" ("/v/clip.mp4", '../a/b.m3u8?x'), or bare relative as the value of an
// address key (`file: "clip.mp4"`; any other bare string is data); and absolute or
// scheme-relative addresses anywhere ("http://…/v.mp4", "//cdn…/a.mp3?t=1"), each up to its
// media extension and the query and fragment right after it (one right after a ";" or ","
// ends at the next of the same, where the text's next field begins); and the strings the
// text hands a player as its media (see PlayerMedia), whatever their extension but one of a
// picture, a subtitle, a style sheet, a script or a player page. `work`, when given, grows by
// the characters examined.
std::vector<std::string> MediaInText(std::string_view text, std::size_t* work = nullptr);
// The same, each handed to `f` as it is found (no list of them is kept).
void ForEachMediaInText(std::string_view text, const std::function<void(std::string_view ref)>& f,
                        std::size_t* work = nullptr);
// Whether an absolute or scheme-relative address, as the above finds them, starts after the
// text's first character ("Kwyn5e;https://host/a.mp3;$0", "0;url=https://host/a.mp4"): a
// value that is fields, one of them an address, rather than one address.
bool HoldsAddressWithin(std::string_view text);

}  // namespace ql::service
