#include "resolve/xmlhttp.h"

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <optional>

#include "base/owned_win.h"
#include "text/wide.h"

namespace ql {

namespace {

// Calls the member `name` late-bound. `args` are in DISPPARAMS order, i.e. last argument
// first. The component's exception texts are released here; nobody reads them.
HRESULT CallByName(IDispatch* object, const wchar_t* name, WORD kind, VARIANT* args, UINT count, VARIANT* result) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        return hr;
    }
    DISPPARAMS params = {args, nullptr, count, 0};
    EXCEPINFO exception = {};
    UINT badArgument = 0;
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, &exception, &badArgument);
    UniqueBstr source(exception.bstrSource);
    UniqueBstr description(exception.bstrDescription);
    UniqueBstr helpFile(exception.bstrHelpFile);
    return hr;
}

// The bytes of a one-dimensional byte array; anything else (VT_EMPTY after a failed
// request, say) is no body.
ByteSet BytesOfVariant(VARIANT* v) {
    if (V_VT(v) != (VT_ARRAY | VT_UI1) || V_ARRAY(v) == nullptr || SafeArrayGetDim(V_ARRAY(v)) != 1) {
        return ByteSet();
    }
    SAFEARRAY* array = V_ARRAY(v);
    LONG low = 0;
    LONG high = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &low)) || FAILED(SafeArrayGetUBound(array, 1, &high)) || high < low) {
        return ByteSet();
    }
    SafeArrayAccess access(array);
    if (access.data() == nullptr) {
        return ByteSet();
    }
    const auto* first = static_cast<const std::uint8_t*>(access.data());
    return ByteSet(first, first + (static_cast<std::size_t>(high) - static_cast<std::size_t>(low) + 1));
}

// "readyState" of the request: 4 once the reply is in or the request has failed.
long ReadyState(IDispatch* request) {
    UniqueVariant state;
    if (FAILED(CallByName(request, L"readyState", DISPATCH_PROPERTYGET, nullptr, 0, state.get())) ||
        FAILED(VariantChangeType(state.get(), state.get(), 0, VT_I4))) {
        return -1;
    }
    return V_I4(state.get());
}

// Dispatches the window messages that are waiting. A quit message is kept for the program's
// own loop (posted again by the caller) and ends the wait.
void ProcessPendingMessages(std::optional<WPARAM>& quit) {
    MSG msg;
    while (!quit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = msg.wParam;
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Waits for the reply while the thread's windows keep working: the component reports its
// progress through messages to this thread, and the window's own messages are handled as
// they come. True when the request completed within the limit; false when the limit passed
// or the program is quitting.
bool WaitForReply(IDispatch* request, std::int64_t limitMs, std::optional<WPARAM>& quit) {
    // The ready state is also read at this interval, in case completion comes without a
    // message; waking so seldom costs nothing measurable.
    constexpr std::int64_t kLongestSleepMs = 100;
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        ProcessPendingMessages(quit);
        if (quit) {
            return false;
        }
        if (ReadyState(request) == 4) {
            return true;
        }
        const std::int64_t remaining = limitMs - static_cast<std::int64_t>(GetTickCount64() - start);
        if (remaining <= 0) {
            return false;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min(remaining, kLongestSleepMs)),
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

}  // namespace

ByteSet FetchPageViaXmlHttp(Text& address, std::int64_t limitMs) {
    ComScope com;
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"Microsoft.XMLHTTP", &clsid))) {
        return ByteSet();
    }
    ComPtr<IDispatch> request;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(request.put()))) ||
        request.get() == nullptr) {
        return ByteSet();
    }

    if (TextCompare(TextLower(TextLeft(address, 7)), "http://") != 0) {
        address = TextJoin("http://", address);
    }

    // open("GET", address, true): the request runs while this thread goes on handling the
    // window's messages. Results of open and send are not looked at: a failed request simply
    // leaves no body to read.
    UniqueBstr method(SysAllocString(L"GET"));
    const std::wstring wideAddress = WideFromGbk(address);
    UniqueBstr url(SysAllocStringLen(wideAddress.data(), static_cast<UINT>(wideAddress.size())));
    VARIANT openArgs[3];
    VariantInit(&openArgs[0]);
    V_VT(&openArgs[0]) = VT_BOOL;
    V_BOOL(&openArgs[0]) = VARIANT_TRUE;
    VariantInit(&openArgs[1]);
    V_VT(&openArgs[1]) = VT_BSTR;
    V_BSTR(&openArgs[1]) = url.get();
    VariantInit(&openArgs[2]);
    V_VT(&openArgs[2]) = VT_BSTR;
    V_BSTR(&openArgs[2]) = method.get();
    {
        UniqueVariant ignored;
        CallByName(request.get(), L"open", DISPATCH_METHOD, openArgs, 3, ignored.get());
    }
    {
        UniqueVariant ignored;
        CallByName(request.get(), L"send", DISPATCH_METHOD, nullptr, 0, ignored.get());
    }
    std::optional<WPARAM> quit;
    const bool complete = WaitForReply(request.get(), limitMs, quit);
    if (!complete) {
        // Given up (the limit, or the program is ending): the request is dropped, nothing of
        // it is read.
        UniqueVariant ignored;
        CallByName(request.get(), L"abort", DISPATCH_METHOD, nullptr, 0, ignored.get());
    }
    if (quit) {
        PostQuitMessage(static_cast<int>(*quit));
    }
    if (!complete) {
        return ByteSet();
    }
    UniqueVariant body;
    if (FAILED(CallByName(request.get(), L"responseBody", DISPATCH_PROPERTYGET, nullptr, 0, body.get()))) {
        return ByteSet();
    }
    return BytesOfVariant(body.get());
}

}  // namespace ql
