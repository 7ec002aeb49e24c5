// The site extractor's command line as Windows parses it: whatever the address holds (quotes,
// backslashes before a quote or at the end, blanks, a leading "-", cmd.exe's % ^ & | < >,
// line ends, non-ASCII), CommandLineToArgvW and the C runtime's own parse of a started
// program's command line give back exactly the arguments, the address as one. The program
// is its own child: run with --echo-arguments, it writes the arguments its C runtime parsed.
#include "service/fetch/extractor_command.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "base/owned_win.h"

#include <shellapi.h>  // after windows.h (owned_win.h), whose types it uses

namespace ql::service {
namespace {

inline void FreeLocal(LPWSTR* memory) noexcept { LocalFree(memory); }
using OwnedArgv = UniqueHandle<LPWSTR*, FreeLocal>;

constexpr wchar_t kEcho[] = L"--echo-arguments";

std::vector<std::wstring> ShellParse(const std::wstring& line) {
    int count = 0;
    const OwnedArgv argv(CommandLineToArgvW(line.c_str(), &count));
    if (!argv) return {};
    return std::vector<std::wstring>(argv.get(), argv.get() + count);
}

// The arguments (after kEcho) the C runtime of this program, started with `line`, parsed.
std::vector<std::wstring> RuntimeParse(const std::wstring& program, std::wstring line) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    UniqueKernelHandle readEnd, writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) return {L"(no pipe)"};
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd.get();
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        return {L"(not started)"};
    }
    const UniqueKernelHandle thread(pi.hThread), process(pi.hProcess);
    writeEnd.reset();
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    WaitForSingleObject(process.get(), INFINITE);
    std::wstring output(bytes.size() / sizeof(wchar_t), L'\0');
    std::memcpy(output.data(), bytes.data(), output.size() * sizeof(wchar_t));
    // Each argument ends with a NUL, which no argument can hold.
    std::vector<std::wstring> arguments;
    for (std::size_t start = 0, end; (end = output.find(L'\0', start)) != std::wstring::npos; start = end + 1)
        arguments.push_back(output.substr(start, end - start));
    return arguments;
}

std::wstring Widened(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

TEST(WindowsCommandLine, EveryAddressComesBackAsOneArgument) {
    wchar_t self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    const std::wstring addresses[] = {
        L"http://h.example.net/a\"b\" --exec calc \"",
        L"http://h.example.net/a\\\"b",
        L"http://h.example.net/a\\",
        L"http://h.example.net/a\\\\",
        L"\\\\server\\share\\\\\\",
        L"\\\"",
        L"\"",
        L"\"\"",
        L"x\"\" y",
        L"",
        L" ",
        L"a b\tc",
        L"-o --exec calc",
        L"--",
        L"%PATH% %WINDIR%",
        L"a^b&c|d<e>f & calc",
        L"http://h.example.net/a\r\n--exec\ncalc\r",
        L"https://\u4f8b\u5b50.\u6d4b\u8bd5/\u89c6\u9891 \U0001F3AC.mp4?t=\u00e9",
    };
    std::vector<std::wstring> arguments;
    for (const std::string& argument : ExtractorArguments("", 8080))
        arguments.push_back(Widened(argument));
    for (const std::wstring& address : addresses) {
        arguments.back() = address;
        const std::wstring program = L"C:\\Program Files\\x y\\yt-dlp.exe";
        const std::optional<std::wstring> line = WindowsCommandLine(program, arguments);
        ASSERT_TRUE(line) << testing::PrintToString(address);
        std::vector<std::wstring> expected = arguments;
        expected.insert(expected.begin(), program);
        EXPECT_EQ(ShellParse(*line), expected) << testing::PrintToString(*line);

        std::vector<std::wstring> echoed = arguments;
        echoed.insert(echoed.begin(), kEcho);
        const std::optional<std::wstring> selfLine = WindowsCommandLine(self, echoed);
        ASSERT_TRUE(selfLine);
        EXPECT_EQ(RuntimeParse(self, *selfLine), arguments) << testing::PrintToString(*selfLine);
    }
}

}  // namespace
}  // namespace ql::service

// The C runtime parses the command line into wmain's arguments (linked with -municode).
int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && std::wcscmp(argv[1], ql::service::kEcho) == 0) {
        const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        for (int i = 2; i < argc; ++i) {
            DWORD written = 0;
            WriteFile(out, argv[i], static_cast<DWORD>((std::wcslen(argv[i]) + 1) * sizeof(wchar_t)), &written,
                      nullptr);
        }
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
