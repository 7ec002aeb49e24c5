// Owners of the system's TLS objects (Schannel through SSPI) and of the certificates it hands
// out. SSPI's credential and context handles are structures, not pointers, so each lives in a
// heap cell of its own that the owner frees together with the handle.
#pragma once

#ifdef _WIN32

#define SECURITY_WIN32
// clang-format off
#include <windows.h>
#include <wincrypt.h>
#include <security.h>
#include <schannel.h>
// clang-format on

#include "base/owned_win.h"

namespace ql {

inline void FreeCredentialsCell(CredHandle* cell) noexcept {
    FreeCredentialsHandle(cell);
    delete cell;
}
using UniqueCredentials = UniqueHandle<CredHandle*, FreeCredentialsCell>;

inline void DeleteContextCell(CtxtHandle* cell) noexcept {
    DeleteSecurityContext(cell);
    delete cell;
}
using UniqueSecurityContext = UniqueHandle<CtxtHandle*, DeleteContextCell>;

// A buffer SSPI allocated for its caller (ISC_REQ_ALLOCATE_MEMORY).
inline void FreeSspiBuffer(void* buffer) noexcept { FreeContextBuffer(buffer); }
using UniqueSspiBuffer = UniqueHandle<void*, FreeSspiBuffer>;

inline void FreeCertificate(PCCERT_CONTEXT certificate) noexcept { CertFreeCertificateContext(certificate); }
using UniqueCertificate = UniqueHandle<PCCERT_CONTEXT, FreeCertificate>;
using UniqueCertificateChain = UniqueHandle<PCCERT_CHAIN_CONTEXT, &::CertFreeCertificateChain>;

}  // namespace ql

#endif
