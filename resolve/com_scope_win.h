// COM for the calling thread for the length of one operation, balanced on every path.
// Start-up may already have put the thread into an apartment: the call then only counts up
// and down. A thread in the multithreaded apartment (RPC_E_CHANGED_MODE here) can still use
// the components, but must not be uninitialised by us.
#pragma once

#include <objbase.h>

namespace ql {

class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) {
            CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT hr_;
};

}  // namespace ql
