#include "resolve/xmlhttp.h"

#include <windows.h>

#include <oleauto.h>

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

}  // namespace

ByteSet FetchPageViaXmlHttp(Text& address) {
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

    // open("GET", address, false): a synchronous request. Results of open and send are not
    // looked at: a failed request simply leaves no body to read.
    UniqueBstr method(SysAllocString(L"GET"));
    const std::wstring wideAddress = WideFromGbk(address);
    UniqueBstr url(SysAllocStringLen(wideAddress.data(), static_cast<UINT>(wideAddress.size())));
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
        CallByName(request.get(), L"open", DISPATCH_METHOD, openArgs, 3, ignored.get());
    }
    {
        UniqueVariant ignored;
        CallByName(request.get(), L"send", DISPATCH_METHOD, nullptr, 0, ignored.get());
    }
    UniqueVariant body;
    if (FAILED(CallByName(request.get(), L"responseBody", DISPATCH_PROPERTYGET, nullptr, 0, body.get()))) {
        return ByteSet();
    }
    return BytesOfVariant(body.get());
}

}  // namespace ql
