#include "service/fetch/extractor_command.h"

#include <unordered_set>

#include "service/reading/ascii.h"
#include "service/reading/page_address.h"

namespace ql::service {

std::vector<std::string> ExtractorArguments(const std::string& address, int proxyPort, bool allowGeneric) {
    return {
        // A user's configuration file could add options (--exec runs a command) or drop the
        // proxy, so none is read.
        "--ignore-config",
        "--no-warnings",
        "--no-playlist",
        "--no-cache-dir",
        "--socket-timeout",
        "10",
        // Every connection goes through the service's proxy, which keeps the address filter.
        "--proxy",
        "http://127.0.0.1:" + std::to_string(proxyPort),
        // The generic extractor reads any page; the service's own reading does that already.
        "--use-extractors",
        allowGeneric ? "default" : "default,-generic",
        // One row per progressive file where there is one, else the video and audio streams.
        "-f",
        "b/bv*+ba",
        "--print",
        "urls",
        // After "--" an address that starts with "-" is no option.
        "--",
        address,
    };
}

namespace {

// CreateProcessW's limit on the command line, its closing NUL included.
constexpr std::size_t kMaxCommandLine = 32767;

// `argument` in quotes as the C runtime parses them: a run of backslashes is literal unless a
// quote follows it, so only a run before a quote (or the closing quote) is doubled, and each
// quote inside is escaped.
void AppendQuoted(std::wstring& line, const std::wstring& argument) {
    line.push_back(L'"');
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            line.append(backslashes * 2 + 1, L'\\');
        } else {
            line.append(backslashes, L'\\');
        }
        backslashes = 0;
        line.push_back(c);
    }
    line.append(backslashes * 2, L'\\');
    line.push_back(L'"');
}

}  // namespace

std::optional<std::wstring> WindowsCommandLine(const std::wstring& program,
                                               const std::vector<std::wstring>& arguments) {
    // The program's name is read up to the next quote, with no escapes.
    if (program.empty() || program.find(L'"') != std::wstring::npos || program.find(L'\0') != std::wstring::npos) {
        return std::nullopt;
    }
    std::wstring line = L"\"" + program + L"\"";
    for (const std::wstring& argument : arguments) {
        if (argument.find(L'\0') != std::wstring::npos) return std::nullopt;
        // Every argument quoted, so that none can split at a blank or be empty.
        line.push_back(L' ');
        AppendQuoted(line, argument);
    }
    if (line.size() >= kMaxCommandLine) return std::nullopt;
    return line;
}

std::vector<std::string> ExtractorRows(std::string_view output) {
    std::vector<std::string> rows;
    std::unordered_set<std::string> seen;
    while (!output.empty() && rows.size() < kMaxExtractorRows) {
        const std::size_t end = output.find_first_of("\r\n");
        std::string_view line = output.substr(0, end);
        output.remove_prefix(end == std::string_view::npos ? output.size() : end + 1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        // Anything else it prints (a title, a message) is no address.
        if (!StartsWithIgnoringCase(line, "http://") && !StartsWithIgnoringCase(line, "https://")) continue;
        std::optional<std::string> row = AbsoluteAddress(line, line);
        if (row && seen.insert(*row).second) rows.push_back(std::move(*row));
    }
    return rows;
}

}  // namespace ql::service
