// The site extractor as the service runs it, with the stand-in program (tests/service/stand-in/
// yt-dlp.exe, which records each call in QL_STAND_IN_LOG) in its place: the arguments and
// environment it gets, the rows read from what it prints, its connections through the
// service's proxy, and the job that ends it, and what it started, at the deadline.
#include "service/fetch/extractor_win.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "base/owned_socket_win.h"
#include "service/fetch/extractor_command.h"
#include "service/fetch/page_fetch_win.h"
#include "service/reading/ascii.h"
#include "service/reading/page_address.h"
#include "service/server/parse_reply.h"
#include "tests/service/fetch/fetch_test_support_win.h"

namespace ql::service {
namespace {

std::wstring StandIn() {
    wchar_t own[MAX_PATH];
    std::wstring path(own, GetModuleFileNameW(nullptr, own, MAX_PATH));
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"stand-in\\yt-dlp.exe";
}

std::string Unhex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// What the stand-in recorded of its one call in a fresh folder.
struct Call {
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    std::vector<std::string> lines;  // "child PID", "fetched URL STATUS", "pid N"
};

class Recording {
public:
    Recording() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"ql-stand-in-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                  std::to_wstring(++count_);
        CreateDirectoryW(folder_.c_str(), nullptr);
        SetEnvironmentVariableW(L"QL_STAND_IN_LOG", folder_.c_str());
    }
    std::vector<Call> Calls() const {
        std::vector<Call> calls;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder_ + L"\\call-*.txt").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return calls;
        do {
            std::ifstream in(std::filesystem::path(folder_ + L"\\" + found.cFileName));
            Call call;
            for (std::string line; std::getline(in, line);) {
                const std::size_t blank = line.find(' ');
                const std::string kind = line.substr(0, blank), rest = line.substr(blank + 1);
                if (kind == "arg") {
                    call.args.push_back(Unhex(rest));
                } else if (kind == "env") {
                    call.env[rest.substr(0, rest.find('='))] = Unhex(rest.substr(rest.find('=') + 1));
                } else if (kind != "commandline") {
                    call.lines.push_back(line);
                }
            }
            calls.push_back(call);
        } while (FindNextFileW(search, &found));
        FindClose(search);
        return calls;
    }

private:
    static inline int count_ = 0;
    std::wstring folder_;
};

int ProxyPort(const Call& call) {
    for (std::size_t i = 0; i + 1 < call.args.size(); ++i) {
        if (call.args[i] == "--proxy") return std::stoi(call.args[i + 1].substr(call.args[i + 1].rfind(':') + 1));
    }
    return 0;
}

struct Winsock : testing::Environment {
    WinsockScope scope;
};
const auto* const kWinsock = testing::AddGlobalTestEnvironment(new Winsock);

TEST(ExtractorWin, RowsOnlyFromACleanExitWithinItsBounds) {
    const struct {
        const char* path;
        std::vector<std::string> rows;  // empty: the reading's answer stands
        const char* why;
    } rows[] = {
        {"/rows",
         {"http://media.example/a/1.mp4", "http://media.example/a/2.mp4", "https://media.example/a/3.m3u8"},
         ""},
        // Through the pipe as printed: a lone CR ends a row, quotes are encoded, blanks trimmed.
        {"/junk",
         {"http://a.example/one", "http://a.example/%22quoted%22.mp4", "http://a.example/blank.mp4",
          "http://a.example/ok.mp4"},
         ""},
        {"/fail", {}, "exit code 3"},
        {"/not-claimed", {}, "exit code 1"},
        {"/flood", {}, "1 MiB"},
    };
    SetEnvironmentVariableW(L"HTTP_PROXY", L"http://127.0.0.1:9/");
    SetEnvironmentVariableW(L"https_proxy", L"http://127.0.0.1:9/");
    for (const auto& row : rows) {
        Recording recording;
        SystemSiteExtractor extractor(StandIn(), false);
        std::string why;
        const std::string url = std::string("http://site.example") + row.path;
        EXPECT_EQ(extractor.Extract(url, &why), row.rows) << row.path;
        EXPECT_NE(why.find(row.why), std::string::npos) << row.path << ": " << why;
        const std::vector<Call> calls = recording.Calls();
        ASSERT_EQ(calls.size(), 1u) << row.path;
        EXPECT_EQ(calls[0].args, ExtractorArguments(url, ProxyPort(calls[0]))) << row.path;
        EXPECT_TRUE(calls[0].env.empty()) << row.path << ": a proxy setting reached the extractor";
    }
    SetEnvironmentVariableW(L"HTTP_PROXY", nullptr);
    SetEnvironmentVariableW(L"https_proxy", nullptr);
    Recording recording;
    SystemSiteExtractor extractor(StandIn(), false);
    EXPECT_EQ(extractor.Extract("http://site.example/many", nullptr).size(), kMaxExtractorRows);
}

// Ends with the child the stand-in started: both gone once Extract returns, at the deadline
// or when the request is given up.
TEST(ExtractorWin, TheJobEndsItAndItsChild) {
    for (const bool abandon : {false, true}) {
        Recording recording;
        // Given up once the stand-in has started its child (a start may be slow on a loaded
        // machine).
        const auto childStarted = [&] {
            for (const Call& call : recording.Calls()) {
                for (const std::string& line : call.lines)
                    if (line.rfind("child ", 0) == 0) return true;
            }
            return false;
        };
        SystemSiteExtractor extractor(StandIn(), false, [&] { return abandon && childStarted(); });
        extractor.timeLimit = std::chrono::seconds(abandon ? 30 : 5);
        std::string why;
        EXPECT_TRUE(extractor.Extract("http://site.example/hang", &why).empty());
        EXPECT_NE(why.find(abandon ? "given up" : "past its time"), std::string::npos) << why;
        const std::vector<Call> calls = recording.Calls();
        ASSERT_EQ(calls.size(), 1u);
        int processes = 0;
        for (const std::string& line : calls[0].lines) {
            if (line.rfind("pid ", 0) != 0 && line.rfind("child ", 0) != 0) continue;
            ++processes;
            const DWORD pid = std::stoul(line.substr(line.find(' ') + 1));
            const UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
            EXPECT_TRUE(!process || WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) << line;
        }
        EXPECT_EQ(processes, 2);
    }
}

// A listener that counts the connections made to it.
class Canary {
public:
    Canary() {
        listener_.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(0x7f000002);  // 127.0.0.2
        int length = sizeof address;
        bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_.get(), 8);
        getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    int port() const { return port_; }
    bool Reached() const { return WaitSocket(listener_.get(), POLLRDNORM, Clock::now()); }

private:
    UniqueSocket listener_;
    int port_ = 0;
};

// Every byte but letters, digits and ".-_" percent-encoded, as a query's value.
std::string Encoded(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (IsAlnum(c) || c == '.' || c == '-' || c == '_') {
            out.push_back(c);
        } else {
            AppendPercentEncoded(out, c);
        }
    }
    return out;
}

// Each connection goes through the service's proxy and its filter: a public name's page is
// fetched, plainly and through a tunnel; an address the filter refuses never sees a byte.
TEST(ExtractorWin, ConnectionsPassTheFilter) {
    const std::string site = "videos.fixture-site.net:" + Port("QL_FIXTURE_PORT");
    Canary canary;
    ASSERT_NE(canary.port(), 0);
    const std::string hidden = "canary.fixture-site.net:" + std::to_string(canary.port());
    const LookupFunction lookup = [&](const std::string& host, int port, Clock::time_point deadline, std::string* why) {
        return Lookup(host == "videos.fixture-site.net"   ? "127.0.0.1"
                      : host == "canary.fixture-site.net" ? "127.0.0.2"
                                                          : host,
                      port, deadline, why);
    };
    const AddressJudge judge = [](const IpAddress& ip) { return !ip.v6 && ip.bytes[3] == 1; };
    const struct {
        std::string target;
        const char* status;
    } rows[] = {
        {"http://" + site + "/pages/no-media.html", "200"},
        {"https://" + site + "/pages/no-media.html", "200"},  // a tunnel, plain HTTP inside
        {"http://" + hidden + "/", "403"},
        {"https://" + hidden + "/", "403"},
        {"http://127.0.0.2:" + std::to_string(canary.port()) + "/", "403"},
    };
    for (const auto& row : rows) {
        Recording recording;
        SystemSiteExtractor extractor(StandIn(), false, {}, lookup, judge);
        extractor.Extract("http://site.example/fetch?u=" + Encoded(row.target), nullptr);
        const std::vector<Call> calls = recording.Calls();
        ASSERT_EQ(calls.size(), 1u) << row.target;
        bool recorded = false;
        for (const std::string& line : calls[0].lines) {
            if (line.rfind("fetched ", 0) != 0) continue;
            recorded = true;
            EXPECT_EQ(line.substr(line.rfind(' ') + 1), row.status) << row.target << ": " << line;
        }
        EXPECT_TRUE(recorded) << row.target;
    }
    EXPECT_FALSE(canary.Reached());
}

// Behind the user's system proxy, the extractor's connections pass the service's proxy and
// then the system's, by name.
TEST(ExtractorWin, ThroughBothProxies) {
    const std::string site = Port("QL_FIXTURE_PORT");
    const std::string upstream = "127.0.0.1:" + Port("QL_UPSTREAM_PROXY_PORT");
    SystemProxyForTest setting(std::wstring(upstream.begin(), upstream.end()), L"");
    UpstreamSaw();
    const LookupFunction nowhere = [](const std::string& host, int, Clock::time_point, std::string* why) {
        if (why) *why = "no address for " + host;
        return std::vector<SocketAddress>();
    };
    Recording recording;
    SystemSiteExtractor extractor(StandIn(), false, {}, nowhere);
    const std::string page = "http://far.fixture-site.net:" + site + "/pages/no-media.html";
    extractor.Extract("http://site.example/fetch?u=" + Encoded(page), nullptr);
    const std::vector<Call> calls = recording.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NE(std::find(calls[0].lines.begin(), calls[0].lines.end(), "fetched " + page + " 200"),
              calls[0].lines.end());
    EXPECT_EQ(UpstreamSaw(), std::vector<std::string>{"GET " + page});
}

// Whatever the user typed reaches the extractor as exactly one argument, the address the
// service would fetch itself.
TEST(ExtractorWin, HostileAddressesStayOneArgument) {
    const char* typed[] = {
        "http://site.example/a b\"c\\\"d.html",    "http://site.example/x\\",
        "http://site.example/x\\\\\" --exec calc", "-o http://site.example/x",
        "http://site.example/%PATH%/^&|<>.html",   "http://site.example/\xE4\xB8\xAD\xE6\x96\x87.html?\xD6\xD0=1",
        "site.example/no-scheme\t--proxy x",
    };
    for (const char* address : typed) {
        Recording recording;
        SystemSiteExtractor extractor(StandIn(), false);
        SystemPageFetcher fetcher(false);
        ParseReply("kw=" + Encoded(address), "http://127.0.0.1:1", fetcher, nullptr, &extractor);
        const std::vector<Call> calls = recording.Calls();
        const std::optional<std::string> fetched = TypedAddress(address);
        ASSERT_EQ(calls.size(), fetched ? 1u : 0u) << address;
        if (!fetched) continue;
        ASSERT_GE(calls[0].args.size(), 2u);
        EXPECT_EQ(calls[0].args[calls[0].args.size() - 2], "--") << address;
        EXPECT_EQ(calls[0].args.back(), *fetched) << address;
    }
}

}  // namespace
}  // namespace ql::service
