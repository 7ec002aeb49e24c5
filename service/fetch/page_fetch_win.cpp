#include "service/fetch/page_fetch_win.h"

#include "base/owned_socket_win.h"
#include "service/fetch/address_filter.h"
#include "service/fetch/body_reader.h"
#include "service/fetch/fetch_url.h"
#include "service/fetch/pinning_proxy_win.h"
#include "service/reading/idna.h"
#include "service/reading/page_address.h"

namespace ql::service {

namespace {

constexpr wchar_t kUserAgent[] = L"Mozilla/5.0 (compatible; QinglanParse/1.0)";
constexpr wchar_t kRequestHeaders[] =
    L"Accept: text/html,application/xhtml+xml,*/*;q=0.8\r\n"
    L"Accept-Encoding: gzip, deflate\r\n"
    L"Accept-Language: zh-CN,zh;q=0.9,en;q=0.5\r\n";

std::wstring Widen(const std::string& text, UINT codePage) {
    if (text.empty()) return std::wstring();
    const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    }
    return out;
}

// A host outside ASCII (UTF-8) in its IDNA form, by the same routine that writes the rows the
// service lists; empty when it has none.
std::string AsciiHost(const std::string& host) {
    bool ascii = true;
    for (char c : host)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    return ascii ? host : HostToAscii(host).value_or(std::string());
}

std::wstring QueryHeader(HINTERNET request, DWORD what) {
    wchar_t buffer[2048];
    DWORD size = sizeof buffer;
    DWORD index = 0;
    if (!HttpQueryInfoW(request, what, buffer, &size, &index)) return std::wstring();
    return std::wstring(buffer, size / sizeof(wchar_t));
}

DWORD MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<DWORD>(left) : 1;
}

// Cuts the proxy's connections when a hop ends in anything but a redirect, before the
// request's handles close (their close would read an unread body to its end first).
class CutUnlessRedirected {
public:
    explicit CutUnlessRedirected(PinningProxy& proxy) : proxy_(proxy) {}
    ~CutUnlessRedirected() {
        if (!redirected_) proxy_.Cut();
    }
    CutUnlessRedirected(const CutUnlessRedirected&) = delete;
    CutUnlessRedirected& operator=(const CutUnlessRedirected&) = delete;
    void Redirected() { redirected_ = true; }

private:
    PinningProxy& proxy_;
    bool redirected_ = false;
};

// Says why a fetch brings nothing.
std::nullopt_t Fail(std::string* why, const std::string& text) {
    if (why) *why = text;
    return std::nullopt;
}

// One hop's request: a session of its own (no connection is kept from one hop to the next),
// every time-out the time left, the system asked in plain HTTP through the proxy.
struct Hop {
    UniqueInternetHandle session;
    UniqueInternetHandle connection;
    UniqueInternetHandle request;
};

bool SendHop(const FetchUrl& url, const std::wstring& proxyList, Clock::time_point deadline, Hop* hop) {
    hop->session.reset(InternetOpenW(kUserAgent, INTERNET_OPEN_TYPE_PROXY, proxyList.c_str(), L"<-loopback>", 0));
    if (!hop->session) return false;
    DWORD timeout = MillisecondsLeft(deadline);
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        InternetSetOptionW(hop->session.get(), option, &timeout, sizeof timeout);
    }
    const std::wstring host = Widen(url.host, CP_UTF8);
    hop->connection.reset(InternetConnectW(hop->session.get(), host.c_str(), static_cast<INTERNET_PORT>(url.port),
                                           nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!hop->connection) return false;
    const DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD |
                        INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                        INTERNET_FLAG_NO_AUTH;
    const std::wstring path = Widen(url.path, CP_UTF8);
    hop->request.reset(
        HttpOpenRequestW(hop->connection.get(), L"GET", path.c_str(), L"HTTP/1.1", nullptr, nullptr, flags, 0));
    return hop->request &&
           HttpSendRequestW(hop->request.get(), kRequestHeaders, static_cast<DWORD>(-1), nullptr, 0) != FALSE;
}

// The page a hop answered with: its type, and its body unless it is media.
FetchedPage ReadPage(HINTERNET request, const FetchUrl& url, Clock::time_point deadline) {
    const ContentType type = SplitContentType(Utf8(QueryHeader(request, HTTP_QUERY_CONTENT_TYPE)));
    FetchedPage page;
    page.url = url.Text();
    page.contentType = type.type;
    page.charset = type.charset;
    if (IsMediaType(type.type)) return page;
    BodyReader reader(Utf8(QueryHeader(request, HTTP_QUERY_CONTENT_ENCODING)), kMaxBody);
    std::string chunk(65536, '\0');
    // The proxy cuts the connection at the deadline, so a read never outlasts it.
    while (Clock::now() < deadline) {
        DWORD got = 0;
        if (!InternetReadFile(request, chunk.data(), static_cast<DWORD>(chunk.size()), &got) || got == 0) break;
        if (!reader.Add(std::string_view(chunk.data(), got))) break;
    }
    page.body = reader.body();
    return page;
}

}  // namespace

std::optional<FetchedPage> SystemPageFetcher::Fetch(const std::string& address, Clock::time_point deadline,
                                                    std::string* why) {
    std::optional<FetchUrl> url = ParseFetchUrl(address);
    if (!url) {
        return Fail(why, "not an http or https address: " + address.substr(0, 200));
    }
    // Every connection of this fetch goes through one proxy that checks where it goes. The
    // system is asked for every hop in plain HTTP, an https one too: the proxy speaks its TLS.
    PinningProxy proxy(allowPrivate_, deadline, lookup_, judge_, extraRoots_);
    proxy.FollowSystemProxy();  // once for the whole fetch
    if (!proxy.Start(why)) return std::nullopt;
    const std::wstring proxyList = L"http=http://127.0.0.1:" + std::to_wstring(proxy.port());
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        url->host = AsciiHost(url->host);
        std::string refusal;
        if (url->host.empty()) {
            refusal = "a host name without an IDNA form";
        } else if (!allowPrivate_ && !HostAllowed(url->host)) {
            refusal = url->host + " is a local or reserved name or address";
        } else if (Clock::now() >= deadline) {
            refusal = "the deadline passed";
        }
        if (!refusal.empty()) return Fail(why, refusal);
        Hop sent;
        CutUnlessRedirected cut(proxy);
        proxy.Expect(*url);
        const bool answered = SendHop(*url, proxyList, deadline, &sent);
        const DWORD error = GetLastError();
        refusal = proxy.refusal();
        if (!refusal.empty()) return Fail(why, refusal);
        if (!answered) return Fail(why, "fetch of " + url->Text() + " failed (error " + std::to_string(error) + ")");
        // The proxy cut the connection at the deadline: a head that was still arriving then
        // is no answer.
        if (Clock::now() >= deadline) return Fail(why, "no whole answer from " + url->Text() + " before the deadline");
        const int status = _wtoi(QueryHeader(sent.request.get(), HTTP_QUERY_STATUS_CODE).c_str());
        if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
            const std::string location = Utf8(QueryHeader(sent.request.get(), HTTP_QUERY_LOCATION));
            std::optional<FetchUrl> next = FollowLocation(*url, location);
            if (!next) return Fail(why, "a redirect to a non-http address: " + location.substr(0, 200));
            url = std::move(next);
            cut.Redirected();
            continue;
        }
        if (status < 200 || status >= 400) return Fail(why, "HTTP " + std::to_string(status) + " from " + url->Text());
        return ReadPage(sent.request.get(), *url, deadline);
    }
    return Fail(why, "more than " + std::to_string(kMaxRedirects) + " redirects");
}

}  // namespace ql::service
