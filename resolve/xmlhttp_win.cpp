#include "resolve/xmlhttp.h"

#include <windows.h>

#include <oleauto.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "base/owned_win.h"
#include "base/worker_win.h"
#include "text/wide.h"
#include "web/url.h"

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

// What the calling thread and the fetching thread share. Each holds a reference, so a fetch
// given up at the limit can still finish into memory that is its own, and nobody reads it.
struct FetchJob {
    std::wstring address;
    ByteSet body;
};

// The fetching thread. The component runs in this thread's own apartment, synchronously:
// "send" returns when the reply is in or the request has failed, and a failure (a refused
// connection, one closed or reset without an answer) is its result. (Asked asynchronously,
// Wine's component never completes a failed request: it waits for ever in ready state 2.)
// A request given up at the limit is never aborted: it goes on here until its reply comes
// or its connection ends, and so takes its own late answer off its own connection, where an
// aborted one left the answer waiting for the next request to the same service.
void FetchOnOwnThread(FetchJob& job) {
    ComScope com;
    CLSID clsid;
    ComPtr<IDispatch> request;
    if (FAILED(CLSIDFromProgID(L"Microsoft.XMLHTTP", &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(request.put()))) ||
        request.get() == nullptr) {
        return;
    }

    // open("GET", address, false)
    UniqueBstr method(SysAllocString(L"GET"));
    UniqueBstr url(SysAllocStringLen(job.address.data(), static_cast<UINT>(job.address.size())));
    VARIANT openArgs[3];
    VariantInit(&openArgs[0]);
    V_VT(&openArgs[0]) = VT_BOOL;
    V_BOOL(&openArgs[0]) = VARIANT_FALSE;
    VariantInit(&openArgs[1]);
    V_VT(&openArgs[1]) = VT_BSTR;
    V_BSTR(&openArgs[1]) = url.get();
    VariantInit(&openArgs[2]);
    V_VT(&openArgs[2]) = VT_BSTR;
    V_BSTR(&openArgs[2]) = method.get();
    {
        UniqueVariant ignored;
        if (FAILED(CallByName(request.get(), L"open", DISPATCH_METHOD, openArgs, 3, ignored.get()))) {
            return;
        }
    }
    {
        UniqueVariant ignored;
        if (FAILED(CallByName(request.get(), L"send", DISPATCH_METHOD, nullptr, 0, ignored.get()))) {
            return;  // no reply: nothing to read
        }
    }
    UniqueVariant body;
    if (SUCCEEDED(CallByName(request.get(), L"responseBody", DISPATCH_PROPERTYGET, nullptr, 0, body.get()))) {
        job.body = BytesOfVariant(body.get());
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
    if (SchemeLength(address) != 7) {  // only "http://", in any case, counts
        address = TextJoin("http://", address);
    }
    auto job = std::make_shared<FetchJob>();
    job->address = WideFromGbk(address);
    const WorkerWait wait = RunJobOnWorker<FetchJob, &FetchOnOwnThread>(job, limitMs);
    // A fetch given up (the limit, or the program is ending) is left to end on its own
    // thread; closing its handle does not stop it, and its result is never read.
    if (!wait.ended) {
        return ByteSet();
    }
    return std::move(job->body);
}

}  // namespace ql
