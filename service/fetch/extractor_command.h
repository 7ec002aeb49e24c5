// The site extractor (yt-dlp) as the service may ask it for the media addresses behind a page:
// the arguments it is run with, the Windows command line they make, and the rows read from
// what it prints.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/reading/page_media.h"

namespace ql::service {

// Bytes of the extractor's standard output that are read; the rest is not.
constexpr std::size_t kMaxExtractorOutput = std::size_t{1} << 20;
// Rows taken from its output, as many as a reply of the page reading lists.
constexpr std::size_t kMaxExtractorRows = kMaxAddresses;

// The arguments after the program's name that ask the extractor for the media addresses behind
// `address` (UTF-8), every connection through the HTTP proxy on 127.0.0.1:`proxyPort`, one
// address a line on its standard output. `allowGeneric` lets it read any page as the page
// reading would (a page of a local test site, which no site's own extractor takes).
std::vector<std::string> ExtractorArguments(const std::string& address, int proxyPort, bool allowGeneric = false);

// The command line CreateProcessW is given for `program` and `arguments`, each argument
// quoted so that the C runtime's parse of it (and CommandLineToArgvW's) gives back exactly
// these arguments. Wide in, wide out: the caller converts from UTF-8 at the Windows edge.
// Nothing for a program whose name holds a quote (its name is parsed without escapes), an
// argument that holds a NUL (it would end the line), or a line longer than CreateProcessW
// takes. The line is for CreateProcessW only: cmd.exe reads %, ^, & and | its own way.
std::optional<std::wstring> WindowsCommandLine(const std::wstring& program, const std::vector<std::wstring>& arguments);

// The media rows of the extractor's standard output (after a clean exit): each line (ended by
// LF, CR or CR LF) trimmed of blanks, those that begin http:// or https:// (any case) as plain
// ASCII rows as the page reading writes them, each once, at most kMaxExtractorRows.
std::vector<std::string> ExtractorRows(std::string_view output);

}  // namespace ql::service
