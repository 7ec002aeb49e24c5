// The reply page's format, as the parse service writes it and the program reads it back: the
// media addresses stand in the hidden field "inf" of the form "m3uForm", one per line, CR LF
// between lines, and the program cuts the field's value out between these two markers.
#pragma once

namespace ql {

// The reply form's first line, CR LF, and the hidden field up to the opening quote of its
// value (97 bytes).
inline constexpr char ReplyStartMarker[] =
    "<form action=\"get_m3u.php\" method=\"post\" name=\"m3uForm\">\r\n"
    "<input type=\"hidden\" name=\"inf\" value=\"";
// The closing quote of the value, the end of the tag and the CR that ends its line; no LF.
inline constexpr char ReplyEndMarker[] = "\"/>\r";

// The line of the value by which the service refuses an address: the program then asks the
// user to check it.
inline constexpr char RefusalLine[] = "**/";

}  // namespace ql
