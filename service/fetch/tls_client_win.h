// The TLS of an https fetch, spoken by the fetch's proxy on the connection it made to the
// checked address, with the system's own TLS (Schannel): the host's name in the greeting, the
// server's certificate judged for that name by the system's chain engine and trusted roots.
// The system's HTTP stack then speaks plain HTTP to the proxy and never TLS itself: under
// Wine, its TLS through a proxy ends the whole process when a server breaks off the handshake.
#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "base/owned_socket_win.h"
#include "base/owned_tls_win.h"
#include "service/page_fetch.h"

namespace ql::service {

// Certificates (DER) trusted as roots beside the system's own: none for the service; a test
// trusts its own site's.
using ExtraRoots = std::vector<std::string>;

class TlsClient {
public:
    // A session on `socket` that ends at `deadline`: no handshake or send outlasts it.
    TlsClient(SOCKET socket, Clock::time_point deadline, const ExtraRoots& extraRoots)
        : socket_(socket), deadline_(deadline), extraRoots_(extraRoots) {}
    TlsClient(const TlsClient&) = delete;
    TlsClient& operator=(const TlsClient&) = delete;

    // The handshake for `host` (its ASCII form) and the judgement of its certificate; false,
    // with `why`, when the server breaks the handshake off, speaks no TLS, is not trusted for
    // the name, or the deadline passes or `stop` is set first.
    bool Handshake(const std::string& host, const std::atomic<bool>& stop, std::string* why);
    // Seals `plain` into records and sends them; false when the connection fails.
    bool Send(std::string_view plain);
    // Reads what the socket holds (the caller saw it readable) and opens every whole record
    // received; their bytes are appended to `plain`. False once the stream has ended (the
    // server's close, or an error), after appending what came before the end.
    bool Receive(std::string* plain);
    // Opens the records that arrived with the end of the handshake, without reading.
    bool OpenReceived(std::string* plain);

private:
    bool Continue(SecBufferDesc* input, SECURITY_STATUS* status);
    bool Renegotiate();
    bool JudgeCertificate(std::string* why);
    DWORD JudgeChain(PCCERT_CHAIN_CONTEXT chain, DWORD ignored);

    SOCKET socket_;
    const Clock::time_point deadline_;
    const ExtraRoots& extraRoots_;
    std::wstring host_;  // the name the certificate must hold, and that the greeting gives
    UniqueCredentials credentials_;
    UniqueSecurityContext context_;
    SecPkgContext_StreamSizes sizes_{};
    std::string received_;  // bytes read from the server and not yet opened
};

}  // namespace ql::service
