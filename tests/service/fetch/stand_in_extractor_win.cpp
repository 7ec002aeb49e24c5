// A stand-in for the site extractor program (yt-dlp.exe) that the parse service may run: it
// takes the same arguments, records how it was called, and behaves as the address it is asked
// about says, so the service's side (arguments, proxy, reading the output, the deadline that
// ends it with every child) can be tested under Wine without the real program, which is a
// host program whose output a Windows pipe never sees there.
//
// The behaviour is chosen by the address's path: /rows, /fetch?u=URL[&u=URL…], /hang, /flood,
// /junk, /many, /fail; any other address is not claimed, as by the real program.
//
// QL_STAND_IN_LOG names a folder (a Windows path, or a host path starting with '/') for one
// record per call, call-<pid>.txt, each line "commandline HEX", "arg HEX", "env NAME=HEX",
// "pid N", then "child PID" or "fetched URL STATUS" lines; HEX is the text's UTF-8 (lone
// surrogates kept as three bytes) in hex. Every version of the file is whole: it is written
// under a temporary name and renamed over the last one.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "base/owned_socket_win.h"
#include "base/owned_win.h"

namespace {

std::string Utf8(const std::wstring& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += {char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            out += {char(0xE0 | c >> 12), char(0x80 | (c >> 6 & 0x3F)), char(0x80 | (c & 0x3F))};
        } else {
            out += {char(0xF0 | c >> 18), char(0x80 | (c >> 12 & 0x3F)), char(0x80 | (c >> 6 & 0x3F)),
                    char(0x80 | (c & 0x3F))};
        }
    }
    return out;
}

std::string Hex(const std::wstring& text) {
    std::string out;
    for (unsigned char b : Utf8(text))
        out += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
    return out;
}

// The record of this call, rewritten whole at every line added.
class Record {
public:
    void Start() {
        wchar_t folder[MAX_PATH] = {};
        DWORD n = GetEnvironmentVariableW(L"QL_STAND_IN_LOG", folder, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return;
        std::wstring base = std::wstring(folder[0] == L'/' ? L"Z:" : L"") + folder + L"\\call-" +
                            std::to_wstring(GetCurrentProcessId());
        path_ = base + L".txt", temporary_ = base + L".tmp";
    }
    void Add(const std::string& line) {
        text_ += line + "\n";
        if (path_.empty()) return;
        const HANDLE raw =
            CreateFileW(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ql::UniqueKernelHandle file(raw == INVALID_HANDLE_VALUE ? nullptr : raw);
        DWORD written = 0;
        bool ok = file && WriteFile(file.get(), text_.data(), DWORD(text_.size()), &written, nullptr) &&
                  written == text_.size();
        file.reset();
        if (!ok || !MoveFileExW(temporary_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            // A test that asked for a record must not read a call as unrecorded.
            std::fprintf(stderr, "stand-in: cannot write the record (error %lu)\n", GetLastError());
            std::exit(4);
        }
    }

private:
    std::wstring path_, temporary_;
    std::string text_;
};

Record record;

void Out(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// The part of an absolute address after the host and before the query, and the query.
void SplitAddress(const std::string& address, std::string& path, std::string& query) {
    std::size_t start = address.find("://");
    if (start == std::string::npos) return;
    std::size_t slash = address.find_first_of("/?#", start + 3);
    if (slash == std::string::npos) return;
    std::size_t end = address.find_first_of("?#", slash);
    path = address.substr(slash, end - slash);
    if (end != std::string::npos && address[end] == '?')
        query = address.substr(end + 1, address.find('#', end) - end - 1);
}

std::string Unpercent(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit((unsigned char)text[i + 1]) &&
            std::isxdigit((unsigned char)text[i + 2])) {
            out += char(std::stoi(text.substr(i + 1, 2), nullptr, 16)), i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A URL as one token of a record line: bytes that would end or split it are escaped again.
std::string Token(const std::string& text) {
    std::string out;
    char hex[4];
    for (unsigned char b : text) {
        if (b > 0x20 && b < 0x7F && b != '%') {
            out += char(b);
        } else {
            std::snprintf(hex, sizeof hex, "%%%02X", b), out += hex;
        }
    }
    return out;
}

struct Url {
    std::string host, port, path;
    bool https = false;
};

bool ParseUrl(const std::string& text, Url& url) {
    // A space or control byte would split the request line or start a header of its own.
    for (unsigned char b : text) {
        if (b <= 0x20 || b == 0x7F) return false;
    }
    std::size_t start = text.find("://");
    if (start == std::string::npos) return false;
    std::string scheme = text.substr(0, start);
    if (scheme != "http" && scheme != "https") return false;
    url.https = scheme == "https";
    std::size_t slash = text.find('/', start + 3);
    std::string authority = text.substr(start + 3, slash - start - 3);
    url.path = slash == std::string::npos ? "/" : text.substr(slash);
    std::size_t colon = authority.rfind(':');
    url.host = authority.substr(0, colon);
    url.port = colon == std::string::npos ? (url.https ? "443" : "80") : authority.substr(colon + 1);
    return !url.host.empty() && !url.port.empty();
}

bool SendAll(SOCKET s, const std::string& data) {
    for (std::size_t sent = 0; sent < data.size();) {
        int n = send(s, data.data() + sent, int(data.size() - sent), 0);
        if (n <= 0) return false;
        sent += n;
    }
    return true;
}

// Reads an answer: up to the end of its header when `header_only`, else to the close.
bool Receive(SOCKET s, std::string& answer, bool header_only) {
    char block[4096];
    while (!(header_only && answer.find("\r\n\r\n") != std::string::npos)) {
        int n = recv(s, block, header_only ? 1 : sizeof block, 0);
        if (n == 0) return !answer.empty();
        if (n < 0 || answer.size() > (16u << 20)) return false;
        answer.append(block, n);
    }
    return true;
}

std::string Status(const std::string& answer) {
    return answer.compare(0, 5, "HTTP/") == 0 && answer.size() >= 12 ? answer.substr(9, 3) : "bad-answer";
}

// Fetches one URL through the proxy; on a 200 prints the body. Returns the record's status.
std::string Fetch(const std::string& proxy, const std::string& text) {
    Url url, via;
    if (!ParseUrl(text, url)) return "bad-url";
    if (!ParseUrl(proxy, via) || via.https) return "bad-proxy";
    addrinfo hints = {};
    hints.ai_family = AF_INET, hints.ai_socktype = SOCK_STREAM;
    ql::UniqueAddressList found;
    if (getaddrinfo(via.host.c_str(), via.port.c_str(), &hints, found.put()) != 0) return "proxy-not-found";
    ql::UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    DWORD timeout = 15000;
    setsockopt(s.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    if (!s || connect(s.get(), found.get()->ai_addr, int(found.get()->ai_addrlen)) != 0) return "connect-error";
    std::string target = url.host + ":" + url.port, request_path = "http://" + target + url.path, answer;
    if (url.https) {
        if (!SendAll(s.get(), "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n")) return "send-error";
        if (!Receive(s.get(), answer, true)) return "receive-error";
        if (Status(answer) != "200") return Status(answer);
        request_path = url.path, answer.clear();
    }
    if (!SendAll(s.get(), "GET " + request_path + " HTTP/1.1\r\nHost: " + target + "\r\nConnection: close\r\n\r\n")) {
        return "send-error";
    }
    if (!Receive(s.get(), answer, false)) return "receive-error";
    std::size_t end = answer.find("\r\n\r\n");
    if (end == std::string::npos) return "bad-answer";
    std::string status = Status(answer), head = answer.substr(0, end);
    for (char& c : head)
        c = char(std::tolower((unsigned char)c));
    // The test's servers send bodies to the close; a chunked one would print its framing as rows.
    if (head.find("transfer-encoding: chunked") != std::string::npos) return "chunked";
    if (status != "200") return status;
    std::string body = answer.substr(end + 4);
    Out(body);
    if (!body.empty() && body.back() != '\n') Out("\r\n");  // the next URL's rows start a line of their own
    return status;
}

int RunFetch(const std::string& proxy, const std::string& query) {
    std::vector<std::string> urls;
    for (std::size_t at = 0; at <= query.size();) {
        std::size_t amp = std::min(query.find('&', at), query.size());
        if (query.compare(at, 2, "u=") == 0) urls.push_back(Unpercent(query.substr(at + 2, amp - at - 2)));
        at = amp + 1;
    }
    if (urls.empty()) return std::fputs("ERROR: /fetch without u=URL\n", stderr), 1;
    ql::WinsockScope winsock;
    int code = 0;
    for (const std::string& url : urls) {
        std::string status = winsock.ok() ? Fetch(proxy, url) : "winsock-error";
        record.Add("fetched " + Token(url) + " " + status);
        if (status != "200") code = 1;
    }
    return code;
}

[[noreturn]] void Hang() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" --child-hang";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    // The child inherits the standard handles, as the real program's own children do: the reader of
    // this program's output sees its end only when both are gone.
    if (CreateProcessW(self, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                       &child)) {
        ql::UniqueKernelHandle process(child.hProcess), thread(child.hThread);
        record.Add("child " + std::to_string(child.dwProcessId));
    } else {
        record.Add("child error " + std::to_string(GetLastError()));
    }
    for (;;)
        Sleep(INFINITE);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && std::wcscmp(argv[1], L"--child-hang") == 0) {
        for (;;)
            Sleep(INFINITE);
    }
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);

    record.Start();
    std::string lines = "commandline " + Hex(GetCommandLineW()) + "\n";
    for (int i = 1; i < argc; ++i)
        lines += "arg " + Hex(argv[i]) + "\n";
    ql::UniqueEnvironmentStrings environment(GetEnvironmentStringsW());
    for (const wchar_t* entry = environment.get(); entry && *entry; entry += std::wcslen(entry) + 1) {
        const wchar_t* equals = std::wcschr(entry + 1, L'=');  // "=C:=…" entries start with '='
        if (!equals) continue;
        std::wstring name(entry, equals);
        for (const wchar_t* wanted : {L"HTTP_PROXY", L"HTTPS_PROXY", L"ALL_PROXY", L"NO_PROXY"}) {
            if (_wcsicmp(name.c_str(), wanted) == 0) lines += "env " + Utf8(name) + "=" + Hex(equals + 1) + "\n";
        }
    }
    lines += "pid " + std::to_string(GetCurrentProcessId());
    record.Add(lines);

    std::wstring proxy, address;
    int dashes = -1;
    for (int i = 1; i < argc && dashes < 0; ++i) {
        if (std::wcscmp(argv[i], L"--proxy") == 0 && i + 1 < argc) proxy = argv[++i];
        if (std::wcscmp(argv[i], L"--") == 0) dashes = i;
    }
    // Exactly one address: a service that split it into several arguments is caught here.
    if (dashes < 0 || argc != dashes + 2 || argv[dashes + 1][0] == 0) {
        return std::fputs("usage: yt-dlp.exe [OPTIONS] -- ADDRESS\n", stderr), 2;
    }
    address = argv[dashes + 1];
    std::string path, query;
    SplitAddress(Utf8(address), path, query);

    int code = 0;
    if (path == "/rows") {
        Out("http://media.example/a/1.mp4\r\nhttp://media.example/a/2.mp4\r\nhttps://media.example/a/3.m3u8\r\n");
    } else if (path == "/fetch") {
        code = RunFetch(Utf8(proxy), query);
    } else if (path == "/hang") {
        Hang();
    } else if (path == "/flood") {
        std::string block;
        while (block.size() < 65536)
            block += "http://flood.example/x.mp4\r\n";
        while (std::fwrite(block.data(), 1, block.size(), stdout) == block.size() && std::fflush(stdout) == 0) {
        }
    } else if (path == "/junk") {
        Out("ftp://a.example/b.mp4\r\njavascript:alert(1)\r\nhttp://a.example/one\rtwo.mp4\r\n"
            "http://a.example/\"quoted\".mp4\r\n  http://a.example/blank.mp4  \r\nhttp://a.example/ok.mp4\r\n"
            "http://a.example/ok.mp4\r\nfile:///c:/x.mp4\r\n");
    } else if (path == "/many") {
        for (int i = 1; i <= 2000; ++i)
            Out("http://many.example/" + std::to_string(i) + ".mp4\r\n");
    } else if (path == "/fail") {
        Out("http://a.example/fail.mp4\r\n");
        code = 3;
    } else {
        std::fprintf(stderr, "ERROR: Unsupported URL: %s\n", Utf8(address).c_str());
        code = 1;
    }
    std::fflush(stdout);
    return code;
}
