#include "update/notice.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>

#include "text/between.h"
#include "text/url_decode.h"
#include "web/timed_request.h"

namespace ql {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Around the version a hand-written notice may break the line ("版本:20130416\r\n;").
bool IsWhiteSpace(char c) { return IsBlank(c) || c == '\r' || c == '\n'; }

std::string_view TrimWhiteSpace(std::string_view v) {
    while (!v.empty() && IsWhiteSpace(v.front())) {
        v.remove_prefix(1);
    }
    while (!v.empty() && IsWhiteSpace(v.back())) {
        v.remove_suffix(1);
    }
    return v;
}

// A written decimal number and nothing else: an optional sign, digits with at most one
// decimal point and at least one digit. TextToNumber would read "2013-04-16" as 2013, an old
// version, and tell the user the program is up to date.
bool IsDecimalNumber(std::string_view v) {
    std::size_t i = 0;
    if (i < v.size() && (v[i] == '+' || v[i] == '-')) {
        ++i;
    }
    bool digits = false;
    bool point = false;
    for (; i < v.size() && (IsDigit(v[i]) || (v[i] == '.' && !point)); ++i) {
        digits = digits || IsDigit(v[i]);
        point = point || v[i] == '.';
    }
    return digits && i == v.size();
}

struct DeclaredLength {
    bool present = false;                // a Content-Length line is there
    std::optional<std::uint64_t> value;  // its value, when it is a number
};

DeclaredLength ReadDeclaredLength(const Text& headers) {
    static const Text kName = "\r\ncontent-length:";
    // Every header line follows a CR LF (the status line comes first).
    const std::int32_t p = TextFind(headers, kName, std::nullopt, true);
    DeclaredLength declared;
    if (p == -1) {
        return declared;
    }
    declared.present = true;
    const std::string_view h = headers.view();
    std::size_t i = static_cast<std::size_t>(p - 1) + kName.size();
    while (i < h.size() && IsBlank(h[i])) {
        ++i;
    }
    std::uint64_t length = 0;
    bool digits = false;
    for (; i < h.size() && IsDigit(h[i]); ++i) {
        if (length > (UINT64_MAX - 9) / 10) {
            return declared;
        }
        length = length * 10 + static_cast<std::uint64_t>(h[i] - '0');
        digits = true;
    }
    while (i < h.size() && IsBlank(h[i])) {
        ++i;
    }
    if (digits && (i == h.size() || h[i] == '\r')) {
        declared.value = length;
    }
    return declared;
}

}  // namespace

int ResponseStatus(const Text& headers) {
    const std::string_view h = headers.view();
    if (h.substr(0, 5) != "HTTP/") {
        return 0;
    }
    const std::size_t space = h.find(' ');
    if (space == std::string_view::npos || space + 4 > h.size()) {
        return 0;
    }
    int status = 0;
    for (std::size_t i = space + 1; i < space + 4; ++i) {
        if (!IsDigit(h[i])) {
            return 0;
        }
        status = status * 10 + (h[i] - '0');
    }
    return status;
}

bool FetchComplete(const ByteSet& body, const Text& headers) {
    if (body.empty() || ResponseStatus(headers) != 200) {
        return false;
    }
    const std::string_view notice(kTimeoutNotice);
    if (body.size() == notice.size() &&
        std::string_view(reinterpret_cast<const char*>(body.data()), body.size()) == notice) {
        return false;
    }
    const DeclaredLength declared = ReadDeclaredLength(headers);
    return !declared.present || declared.value == std::optional<std::uint64_t>(body.size());
}

UpdateNotice ReadUpdateNotice(const ByteSet& body, const Text& headers) {
    UpdateNotice notice;
    if (!FetchComplete(body, headers)) {
        return notice;
    }
    const Text page = UrlDecode(BytesToText(body));
    const Text versionText(TrimWhiteSpace(TextBetween(page, kVersionMarker, kValueEnd).view()));
    if (!IsDecimalNumber(versionText.view())) {
        return notice;
    }
    const double version = TextToNumber(versionText);
    if (!std::isfinite(version)) {
        return notice;  // more digits than any number holds: no version that can be compared
    }
    notice.version = version;
    notice.verdict =
        notice.version - kProgramVersion > kVersionTolerance ? UpdateVerdict::NewVersion : UpdateVerdict::UpToDate;
    notice.archiveAddress = TextBetween(page, kAddressMarker, kValueEnd);
    return notice;
}

}  // namespace ql
