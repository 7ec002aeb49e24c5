#include "resolve/actions.h"

#include <string>

#include "resolve/reply.h"
#include "resolve/result_list.h"
#include "resolve/service.h"
#include "resolve/shell.h"
#include "resolve/xmlhttp.h"
#include "text/wide.h"

namespace ql {

namespace {

Text WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) {
        return Text();
    }
    std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, wide.data(), length + 1);
    wide.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return GbkFromWide(wide);
}

}  // namespace

void ResolveAndList(HWND addressBox, HWND resultList) {
    Text query = BuildParseQuery(ParseServiceQueryPrefix(), WindowText(addressBox));
    const Text page = BytesToText(FetchPageViaXmlHttp(query));
    FillResultList(resultList, CutBetween(page, ReplyStartMarker, ReplyEndMarker));
}

void CopySelectedAddress(HWND resultList) {
    const int row = SelectedRow(resultList);
    if (row == -1) {
        return;
    }
    PutTextOnClipboard(GetAncestor(resultList, GA_ROOT), RowText(resultList, row));
}

void OpenSelectedAddress(HWND resultList) {
    const int row = SelectedRow(resultList);
    if (row == -1) {
        return;
    }
    OpenAddress(RowText(resultList, row));
}

}  // namespace ql
