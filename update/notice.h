// Reading the update-notice page: whether a newer version is announced, and where its
// archive lies. Everything here is a pure function of what the two fetches brought back (the
// body and the raw response header block); the check itself (check.h) shows the boxes and
// writes the file.
#pragma once

#include <cstdint>

#include "text/gbk_markers.h"
#include "text/text.h"

namespace ql {

// The program's own version, a date written as a number, compared as a real number: a remote
// version is newer only when it exceeds this by more than the tolerance.
inline constexpr double kProgramVersion = 20130415;
inline constexpr double kVersionTolerance = 1e-07;

// The notice page holds "版本:" + version + ";" and "地址:" + archive address + ";" (ASCII
// colon and semicolon; the first occurrence of each counts).
inline constexpr const char* kVersionMarker = QL_GBK_MARKER("版本:", "\xB0\xE6\xB1\xBE:");
inline constexpr const char* kAddressMarker = QL_GBK_MARKER("地址:", "\xB5\xD8\xD6\xB7:");
inline constexpr const char* kValueEnd = ";";

inline constexpr const char* kUpdateBoxTitle = "更新提示:";
inline constexpr const char* kUpToDateText = "当前已经是最新版";
inline constexpr const char* kNewVersionText = "发现新版本,请点击确定键进入介绍页面";

// The archive's name in the program's folder.
inline constexpr const char* kArchiveFileName = "qlw_sp.rar";

enum class UpdateVerdict {
    NoAnswer,    // the page could not be fetched or names no version: the check says nothing
    UpToDate,    // the announced version is not newer than the program's
    NewVersion,  // a newer version is announced
};

struct UpdateNotice {
    UpdateVerdict verdict = UpdateVerdict::NoAnswer;
    double version = 0;   // the announced version (0 for NoAnswer)
    Text archiveAddress;  // the "地址:" value; empty when the page names none
};

// The status code of a raw response header block ("HTTP/1.1 200 OK" gives 200); 0 when the
// block does not begin with a status line.
int ResponseStatus(const Text& headers);

// Whether a fetch brought its whole answer: status 200, a body that is neither empty nor the
// timed runner's time-out notice, and exactly as many bytes as the first Content-Length line
// (name in any case) declares when there is one (a value that is not a number never matches).
bool FetchComplete(const ByteSet& body, const Text& headers);

// What the notice page announces. The body is taken as text (up to a zero byte) and
// percent-decoded from UTF-8. A fetch that is not complete, a page without a version, or a
// version that is not a decimal number (signs and a fraction allowed, white space around
// it, blanks, tabs, CR and LF, ignored) or too long to be one gives NoAnswer.
UpdateNotice ReadUpdateNotice(const ByteSet& body, const Text& headers);

}  // namespace ql
