#include "resolve/actions.h"

#include <string>

#include "resolve/reply.h"
#include "resolve/result_list.h"
#include "resolve/service.h"
#include "resolve/shell.h"
#include "resolve/xmlhttp.h"
#include "service/server/own_service_win.h"
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
    // The window stays live while the service is asked, so the button can be pressed again
    // meanwhile: that press starts nothing.
    static bool running = false;
    if (running) {
        return;
    }
    Text page;
    {
        struct Running {
            Running() { running = true; }
            ~Running() { running = false; }
        } scope;
        // A service that answered at start-up may have gone since: the program takes over.
        ServeOwnService();
        Text query = BuildParseQuery(ParseServiceQueryPrefix(), WindowText(addressBox));
        page = BytesToText(FetchPageViaXmlHttp(query, ParseServiceTimeLimitMs()));
    }
    // The window may have been closed during the wait.
    if (IsWindow(resultList)) {
        FillResultList(resultList, CutBetween(page, ReplyStartMarker, ReplyEndMarker));
    }
}

void ServeOwnService() {
    if (ParseServiceServedByProgram()) {
        service::ServeServiceAddress(ParseServiceBase(), {ParseServiceAllowsPrivate()});
    }
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
    const Text address = RowText(resultList, row);
    if (IsWebAddress(address)) {
        OpenAddress(address);
    }
}

}  // namespace ql
