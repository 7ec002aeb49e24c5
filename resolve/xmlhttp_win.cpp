#include "resolve/xmlhttp.h"

#include <windows.h>

#include <oleauto.h>

#include "resolve/com_scope_win.h"
#include "text/wide.h"

namespace ql {

namespace {

class OwnedDispatch {
public:
    OwnedDispatch() = default;
    ~OwnedDispatch() {
        if (p_) {
            p_->Release();
        }
    }
    OwnedDispatch(const OwnedDispatch&) = delete;
    OwnedDispatch& operator=(const OwnedDispatch&) = delete;
    IDispatch* get() const { return p_; }
    void** out() { return reinterpret_cast<void**>(&p_); }

private:
    IDispatch* p_ = nullptr;
};

class OwnedBstr {
public:
    explicit OwnedBstr(const std::wstring& s) : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    ~OwnedBstr() { SysFreeString(b_); }
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    BSTR get() const { return b_; }

private:
    BSTR b_;
};

class OwnedVariant {
public:
    OwnedVariant() { VariantInit(&v_); }
    ~OwnedVariant() { VariantClear(&v_); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    VARIANT* get() { return &v_; }

private:
    VARIANT v_;
};

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
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
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
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) {
        return ByteSet();
    }
    const auto* first = static_cast<const std::uint8_t*>(data);
    ByteSet bytes(first, first + (static_cast<std::size_t>(high) - static_cast<std::size_t>(low) + 1));
    SafeArrayUnaccessData(array);
    return bytes;
}

}  // namespace

ByteSet FetchPageViaXmlHttp(Text& address) {
    ComScope com;
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"Microsoft.XMLHTTP", &clsid))) {
        return ByteSet();
    }
    OwnedDispatch request;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, request.out())) ||
        request.get() == nullptr) {
        return ByteSet();
    }

    if (TextCompare(TextLower(TextLeft(address, 7)), "http://") != 0) {
        address = TextJoin("http://", address);
    }

    // open("GET", address, false): a synchronous request. Results of open and send are not
    // looked at: a failed request simply leaves no body to read.
    OwnedBstr method(L"GET");
    OwnedBstr url(WideFromGbk(address));
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
        OwnedVariant ignored;
        CallByName(request.get(), L"open", DISPATCH_METHOD, openArgs, 3, ignored.get());
    }
    {
        OwnedVariant ignored;
        CallByName(request.get(), L"send", DISPATCH_METHOD, nullptr, 0, ignored.get());
    }
    OwnedVariant body;
    if (FAILED(CallByName(request.get(), L"responseBody", DISPATCH_PROPERTYGET, nullptr, 0, body.get()))) {
        return ByteSet();
    }
    return BytesOfVariant(body.get());
}

}  // namespace ql
