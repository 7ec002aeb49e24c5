// The parse service's side of the main action: the query that asks it about a typed
// address, and the reading of its reply page into result rows.
//
// Pure text routines: every input yields a defined result and nothing fails. The service
// answers an HTML page whose form "m3uForm" carries the media addresses in its hidden field
// "inf", one per line, lines separated by CR LF; a line "**/" there means the service did
// not recognise the address as a video page.
#pragma once

#include <vector>

#include "service/server/reply_format.h"
#include "text/text.h"

namespace ql {

// The bytes after the first occurrence of `startMarker` in `text`, up to (not including) the
// first occurrence of `endMarker` after it. Bytes are matched exactly, case included. The
// empty text when either marker is missing, or when the end marker comes only before the
// start marker.
Text CutBetween(const Text& text, const Text& startMarker, const Text& endMarker);

// The rows that the value of the hidden field gives, in reply order: the value is split at
// every CR LF; a CR LF at the very end does not add an empty last row (the service may end
// every line, the last included, with one), while an empty line between two others stays
// an (empty) row. The first line that reads exactly "**/" ends the rows and sets `refused`.
struct ResultRows {
    std::vector<Text> rows;
    bool refused = false;
};
ResultRows ReadResultRows(const Text& value);

// The typed address as the value of a query parameter: every byte outside letters, digits
// and - . _ ~ : / ? = , ; ! * ( ) @ $ ' becomes %XX (upper-case hex), so the service
// decodes exactly the typed bytes — "#" cannot cut the query short, "&" cannot split it,
// "+" is not read as a space and GBK bytes are not left to the HTTP client's mercy. An
// ordinary address goes out byte for byte as typed.
Text EncodeQueryValue(const Text& value);

// The query address for a typed address: `queryPrefix` (ending in "kw=") followed by the
// encoded address; an empty address gives the prefix alone.
Text BuildParseQuery(const Text& queryPrefix, const Text& typedAddress);

// True when a row may be handed to the browser: it begins with "http://" or "https://" in
// any case. A row is text from a plain-HTTP reply; a local path, a share or a "file:"
// address in it must never reach the shell, which would run or open it.
bool IsWebAddress(const Text& row);

}  // namespace ql
