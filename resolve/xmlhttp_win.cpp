#include "resolve/xmlhttp.h"

#include <windows.h>

#include <oleauto.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "base/messages_win.h"
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

// "readyState" of the request: 4 once the reply is in.
long ReadyState(IDispatch* request) {
    UniqueVariant state;
    if (FAILED(CallByName(request, L"readyState", DISPATCH_PROPERTYGET, nullptr, 0, state.get())) ||
        FAILED(VariantChangeType(state.get(), state.get(), 0, VT_I4))) {
        return -1;
    }
    return V_I4(state.get());
}

// The longest the calling thread waits for an aborted fetch to end.
constexpr DWORD kAbortWaitMs = 2000;

// What the calling thread and the fetching thread share. Each holds a reference, so a fetch
// given up at the limit can still finish into memory that is its own.
struct FetchJob {
    std::wstring address;
    UniqueKernelHandle stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    ByteSet body;
};

// The fetching thread. The component runs in this thread's own apartment: its request runs
// asynchronously, its progress arrives as messages to this thread, and a request given up
// is aborted here. The thread then ends, and whatever the abort leaves behind in the
// thread's share of the system (under Wine, later requests on the same thread complete at
// once with nothing) ends with it.
DWORD WINAPI FetchOnOwnThread(void* param) {
    const std::unique_ptr<std::shared_ptr<FetchJob>> share(static_cast<std::shared_ptr<FetchJob>*>(param));
    FetchJob& job = **share;
    ComScope com;
    CLSID clsid;
    ComPtr<IDispatch> request;
    if (FAILED(CLSIDFromProgID(L"Microsoft.XMLHTTP", &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(request.put()))) ||
        request.get() == nullptr) {
        return 0;
    }

    // open("GET", address, true). Results of open and send are not looked at: a failed
    // request simply leaves no body to read.
    UniqueBstr method(SysAllocString(L"GET"));
    UniqueBstr url(SysAllocStringLen(job.address.data(), static_cast<UINT>(job.address.size())));
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
    // The ready state is also read every 100 ms, in case completion comes without a message.
    HANDLE stop = job.stop.get();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (ReadyState(request.get()) == 4) {
            break;
        }
        if (MsgWaitForMultipleObjects(1, &stop, FALSE, 100, QS_ALLINPUT) == WAIT_OBJECT_0) {
            UniqueVariant ignored;
            CallByName(request.get(), L"abort", DISPATCH_METHOD, nullptr, 0, ignored.get());
            return 0;
        }
    }
    UniqueVariant body;
    if (SUCCEEDED(CallByName(request.get(), L"responseBody", DISPATCH_PROPERTYGET, nullptr, 0, body.get()))) {
        job.body = BytesOfVariant(body.get());
    }
    return 0;
}

// Waits for the fetching thread while this thread's windows keep working. True when it
// ended within the limit; false when the limit passed or the program is quitting.
bool WaitForFetch(HANDLE fetcher, std::int64_t limitMs, std::optional<WPARAM>& quit) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        const std::int64_t remaining = limitMs - static_cast<std::int64_t>(GetTickCount64() - start);
        if (remaining <= 0) {
            return false;
        }
        const DWORD result =
            MsgWaitForMultipleObjects(1, &fetcher, FALSE,
                                      static_cast<DWORD>(std::min<std::int64_t>(remaining, INFINITE - 1)), QS_ALLINPUT);
        if (result == WAIT_OBJECT_0) {
            return true;
        }
        ProcessPendingMessages(quit);
        if (quit) {
            return false;
        }
        if (result == WAIT_FAILED) {
            Sleep(1);  // not expected with a valid handle; never spin
        }
    }
}

}  // namespace

ByteSet FetchPageViaXmlHttp(Text& address, std::int64_t limitMs) {
    CLSID clsid;
    {
        ComScope com;
        if (FAILED(CLSIDFromProgID(L"Microsoft.XMLHTTP", &clsid))) {
            return ByteSet();
        }
    }
    if (TextCompare(TextLower(TextLeft(address, 7)), "http://") != 0) {
        address = TextJoin("http://", address);
    }
    auto job = std::make_shared<FetchJob>();
    job->address = WideFromGbk(address);
    if (!job->stop) {
        return ByteSet();
    }
    auto* share = new std::shared_ptr<FetchJob>(job);
    UniqueKernelHandle fetcher(CreateThread(nullptr, 0, &FetchOnOwnThread, share, 0, nullptr));
    if (!fetcher) {
        delete share;
        return ByteSet();
    }
    std::optional<WPARAM> quit;
    const bool ended = WaitForFetch(fetcher.get(), limitMs, quit);
    if (!ended) {
        // Given up (the limit, or the program is ending): the request is aborted on its own
        // thread, and nothing of it is read. The abort takes a moment; it is waited for, so
        // that no fetching thread is cut off inside the system's code when the program ends
        // (which left the process hanging in its exit).
        SetEvent(job->stop.get());
        WaitForSingleObject(fetcher.get(), kAbortWaitMs);
    }
    if (quit) {
        PostQuitMessage(static_cast<int>(*quit));
    }
    if (!ended) {
        return ByteSet();
    }
    return std::move(job->body);
}

}  // namespace ql
