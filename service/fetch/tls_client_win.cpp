#include "service/fetch/tls_client_win.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "service/fetch/socket_io_win.h"

namespace ql::service {

namespace {

// Bytes a server may have sent and not yet had opened: more than any handshake or record
// needs, so a peer past it is not speaking TLS.
constexpr std::size_t kMaxReceived = std::size_t{1} << 20;

constexpr ULONG kContextRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                  ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION;

std::string Hex(unsigned long code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", code);
    return text;
}

bool Fail(std::string* why, const std::string& text) {
    if (why) *why = text;
    return false;
}

// What a certificate's judgement means, said of the certificate.
std::string CertificateFault(DWORD error) {
    switch (error) {
        case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
        case static_cast<DWORD>(CERT_E_CHAINING):
            return "is not issued by an authority the system trusts";
        case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
            return "is for another name";
        case static_cast<DWORD>(CERT_E_EXPIRED):
            return "has expired or is not valid yet";
        case static_cast<DWORD>(CERT_E_WRONG_USAGE):
            return "is not one for a web server";
        case static_cast<DWORD>(CRYPT_E_REVOKED):
            return "is revoked";
        default:
            return "is not valid (" + Hex(error) + ")";
    }
}

// The bytes of `received` that one SSPI call left unread: its SECBUFFER_EXTRA, always the tail.
void KeepExtra(std::string& received, const SecBuffer* buffers, int count) {
    std::size_t extra = 0;
    for (int i = 0; i < count; ++i) {
        if (buffers[i].BufferType == SECBUFFER_EXTRA) extra = buffers[i].cbBuffer;
    }
    received.erase(0, received.size() - std::min(extra, received.size()));
}

// Whether the server's first bytes can begin its first TLS record: a handshake message or an
// alert, of a TLS version (later records may be of other kinds: the switch to the new keys).
// Anything else (an http server on an https address) is no TLS, whatever comes after it; the
// system's TLS would wait for the record length it read into it.
bool LooksLikeTls(std::string_view received) {
    return (received[0] == 0x16 || received[0] == 0x15) && (received.size() < 2 || received[1] == 0x03);
}

}  // namespace

bool TlsClient::Continue(SecBufferDesc* input, SECURITY_STATUS* status) {
    SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
    ULONG attributes = 0;
    if (context_) {
        *status = InitializeSecurityContextW(credentials_.get(), context_.get(), host_.data(), kContextRequest, 0, 0,
                                             input, 0, nullptr, &outDesc, &attributes, nullptr);
    } else {
        CtxtHandle fresh{};
        *status = InitializeSecurityContextW(credentials_.get(), nullptr, host_.data(), kContextRequest, 0, 0, nullptr,
                                             0, &fresh, &outDesc, &attributes, nullptr);
        if (*status == SEC_I_CONTINUE_NEEDED) context_.reset(new CtxtHandle(fresh));
    }
    const UniqueSspiBuffer token(out.pvBuffer);
    return out.cbBuffer == 0 || !token ||
           SendAll(socket_, std::string_view(static_cast<const char*>(token.get()), out.cbBuffer), deadline_);
}

bool TlsClient::Handshake(const std::string& host, const std::atomic<bool>& stop, std::string* why) {
    host_.assign(host.begin(), host.end());  // ASCII
    SCHANNEL_CRED settings{};
    settings.dwVersion = SCHANNEL_CRED_VERSION;
    // The certificate is judged below, for the host's name; no client certificate is offered.
    settings.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    CredHandle fresh{};
    TimeStamp expiry{};
    if (AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr, &settings,
                                  nullptr, nullptr, &fresh, &expiry) != SEC_E_OK) {
        return Fail(why, "the system's TLS cannot be used");
    }
    credentials_.reset(new CredHandle(fresh));
    SECURITY_STATUS status = SEC_E_OK;
    const bool sent = Continue(nullptr, &status);
    if (status != SEC_I_CONTINUE_NEEDED)
        return Fail(why, "the system's TLS cannot greet " + host + " (" + Hex(status) + ")");
    if (!sent) return Fail(why, host + " cut the connection before the TLS greeting");
    bool read = true;
    bool first = true;  // the server's first bytes, which open its first record
    bool askedForCertificate = false;
    for (;;) {
        if (read) {
            if (!WaitSocket(socket_, POLLRDNORM, deadline_, &stop)) {
                return Fail(why, "no TLS handshake from " + host + " before the deadline");
            }
            char buffer[16384];
            const int got = recv(socket_, buffer, sizeof buffer, 0);
            if (got <= 0) {
                return Fail(why, host + (got == 0 ? " closed" : " reset") + " the connection during the TLS handshake");
            }
            if (received_.size() + static_cast<std::size_t>(got) > kMaxReceived) {
                return Fail(why, host + " sent more than a TLS handshake holds");
            }
            received_.append(buffer, static_cast<std::size_t>(got));
            if (first && !LooksLikeTls(received_)) return Fail(why, host + " answers, but not in TLS");
            first = false;
        }
        SecBuffer in[2] = {{static_cast<ULONG>(received_.size()), SECBUFFER_TOKEN, received_.data()},
                           {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
        if (!Continue(&inDesc, &status)) return Fail(why, "the connection to " + host + " failed");
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            read = true;
            continue;
        }
        if (status == SEC_I_INCOMPLETE_CREDENTIALS && !askedForCertificate) {
            // The server asks for a certificate of ours: none is offered, and the same input
            // goes to the system's TLS again, which goes on without one.
            askedForCertificate = true;
            read = false;
            continue;
        }
        if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
            return Fail(why, "the TLS handshake with " + host +
                                 " failed: " + (status == SEC_E_ILLEGAL_MESSAGE ? "it is not TLS" : Hex(status)));
        }
        KeepExtra(received_, in, 2);
        if (status == SEC_E_OK) break;
        read = received_.empty();
    }
    if (QueryContextAttributesW(context_.get(), SECPKG_ATTR_STREAM_SIZES, &sizes_) != SEC_E_OK ||
        sizes_.cbMaximumMessage == 0) {
        return Fail(why, "the TLS session with " + host + " has no record sizes");
    }
    return JudgeCertificate(why);
}

bool TlsClient::JudgeCertificate(std::string* why) {
    const std::string host(host_.begin(), host_.end());
    PCCERT_CONTEXT raw = nullptr;
    if (QueryContextAttributesW(context_.get(), SECPKG_ATTR_REMOTE_CERT_CONTEXT, &raw) != SEC_E_OK || !raw) {
        return Fail(why, host + " showed no certificate");
    }
    const UniqueCertificate certificate(raw);
    char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    LPSTR usages[] = {serverAuth};
    CERT_CHAIN_PARA chainPara{};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    // No revocation check: it would fetch lists from addresses the service never checked.
    PCCERT_CHAIN_CONTEXT rawChain = nullptr;
    if (!CertGetCertificateChain(nullptr, certificate.get(), nullptr, certificate.get()->hCertStore, &chainPara, 0,
                                 nullptr, &rawChain) ||
        !rawChain) {
        return Fail(why, "the certificate of " + host + " cannot be judged");
    }
    const UniqueCertificateChain chain(rawChain);
    DWORD error = JudgeChain(chain.get(), 0);
    if (error == static_cast<DWORD>(CERT_E_UNTRUSTEDROOT) && chain.get()->cChain > 0) {
        // A root trusted beside the system's: the rest (the name, the dates) is judged as ever.
        const CERT_SIMPLE_CHAIN* simple = chain.get()->rgpChain[0];
        const CERT_CONTEXT* root = simple->rgpElement[simple->cElement - 1]->pCertContext;
        const std::string encoded(reinterpret_cast<const char*>(root->pbCertEncoded), root->cbCertEncoded);
        if (std::find(extraRoots_.begin(), extraRoots_.end(), encoded) != extraRoots_.end()) {
            error = JudgeChain(chain.get(), SECURITY_FLAG_IGNORE_UNKNOWN_CA);
        }
    }
    if (error != 0) return Fail(why, "the certificate of " + host + " " + CertificateFault(error));
    return true;
}

// The system's judgement of a server's chain for the host's name, less the `ignored` checks:
// 0 when it holds, else why not.
DWORD TlsClient::JudgeChain(PCCERT_CHAIN_CONTEXT chain, DWORD ignored) {
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = ignored;
    ssl.pwszServerName = host_.data();
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS judged{};
    judged.cbSize = sizeof judged;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &judged)) return GetLastError();
    return judged.dwError;
}

bool TlsClient::Send(std::string_view plain) {
    std::string record;
    while (!plain.empty()) {
        const std::size_t size = std::min<std::size_t>(plain.size(), sizes_.cbMaximumMessage);
        record.assign(sizes_.cbHeader + size + sizes_.cbTrailer, '\0');
        char* at = record.data();
        std::memcpy(at + sizes_.cbHeader, plain.data(), size);
        SecBuffer buffers[4] = {{sizes_.cbHeader, SECBUFFER_STREAM_HEADER, at},
                                {static_cast<ULONG>(size), SECBUFFER_DATA, at + sizes_.cbHeader},
                                {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, at + sizes_.cbHeader + size},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        if (EncryptMessage(context_.get(), 0, &desc, 0) != SEC_E_OK) return false;
        const std::size_t sealed = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
        if (!SendAll(socket_, std::string_view(at, sealed), deadline_)) return false;
        plain.remove_prefix(size);
    }
    return true;
}

bool TlsClient::Receive(std::string* plain) {
    char buffer[16384];
    const int got = recv(socket_, buffer, sizeof buffer, 0);
    if (got < 0 && WSAGetLastError() == WSAEWOULDBLOCK) return true;
    if (got <= 0 || received_.size() + static_cast<std::size_t>(got) > kMaxReceived) return false;
    received_.append(buffer, static_cast<std::size_t>(got));
    return OpenReceived(plain);
}

bool TlsClient::OpenReceived(std::string* plain) {
    while (!received_.empty()) {
        SecBuffer buffers[4] = {{static_cast<ULONG>(received_.size()), SECBUFFER_DATA, received_.data()},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = DecryptMessage(context_.get(), &desc, 0, nullptr);
        if (status == SEC_E_INCOMPLETE_MESSAGE) return true;
        // SEC_I_CONTEXT_EXPIRED is the server's close; anything else but a record is an end too.
        if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) return false;
        for (const SecBuffer& buffer : buffers) {
            if (buffer.BufferType == SECBUFFER_DATA && buffer.pvBuffer) {
                plain->append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
            }
        }
        KeepExtra(received_, buffers, 4);
        if (status == SEC_I_RENEGOTIATE && !Renegotiate()) return false;
    }
    return true;
}

// A handshake message after the handshake (TLS 1.3 session tickets, on some systems) goes
// back to the system's TLS, which may answer it; what it leaves unread stays received.
bool TlsClient::Renegotiate() {
    SecBuffer in[2] = {{static_cast<ULONG>(received_.size()), SECBUFFER_TOKEN, received_.data()},
                       {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
    SECURITY_STATUS status = SEC_E_OK;
    if (!Continue(&inDesc, &status) || status != SEC_E_OK) return false;
    KeepExtra(received_, in, 2);
    return true;
}

}  // namespace ql::service
