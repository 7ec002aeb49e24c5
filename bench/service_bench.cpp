// What the program's own service costs it, under Wine: the program built with the service on
// a port of this build's own (QL_BENCH_SERVICE_PORT), with qinglan_service.exe beside it as in
// the package, is started once while nothing listens there, so that it serves the address
// itself (from the service process it starts), and once while this benchmark holds the port,
// so that it leaves it; each round alternates the two.
//
//   memory       the program's memory once its window is idle (and, with the service, once the
//                service answers) and the figures have settled: its private bytes and working
//                set from GetProcessMemoryInfo, and the same of the service process it started
//                (its child named qinglan_service.exe). Wine leaves PrivateUsage at 0 and fills
//                PagefileUsage with the process's resident anonymous memory (RssAnon in
//                /proc/PID/status, to the kilobyte) and the working set with VmRSS.
//   first paint  process start to the end of the first skinned paint (the child reports it in
//                its exit code, see first_paint_win.cpp)
//
// bench/service_bench.py runs it and prints its figures in the service's table. One line per
// run, tab-separated ("-" for a figure not taken):
//
//   service_bench.exe PROGRAM FIRST_PAINT_PROGRAM [ROUNDS STARTS]
//     port    PORT
//     memory  with|without  PRIVATE_KIB  WORKING_SET_KIB  SERVED(1|0)  SERVICE_PRIVATE_KIB  SERVICE_WORKING_SET_KIB
//     paint   with|without  TOTAL_MS  SKIN_MS
#include <winsock2.h>
// after winsock2.h
#include <psapi.h>
#include <tlhelp32.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "base/owned_socket_win.h"
#include "base/owned_win.h"

#ifndef QL_BENCH_SERVICE_PORT
#error "QL_BENCH_SERVICE_PORT: the port of the benchmark build's service, set by the build"
#endif

namespace {

constexpr int kPort = QL_BENCH_SERVICE_PORT;

std::wstring Widen(const char* s) {
    const int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
    std::wstring w(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_ACP, 0, s, -1, w.data(), n);
    return w;
}

sockaddr_in Loopback() {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<u_short>(kPort));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return to;
}

// A listening socket on the port: something that answers there, so the program leaves it.
ql::UniqueSocket HoldPort() {
    ql::UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!s) return s;
    BOOL exclusive = TRUE;
    setsockopt(s.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    const sockaddr_in at = Loopback();
    if (bind(s.get(), reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 || listen(s.get(), 16) != 0) {
        return ql::UniqueSocket();
    }
    return s;
}

// True when an HTTP server answers GET / on the port.
bool Answers() {
    ql::UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!s) return false;
    DWORD limit = 2000;
    setsockopt(s.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
    const sockaddr_in to = Loopback();
    if (connect(s.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) return false;
    const std::string request = "GET / HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(kPort) + "\r\n\r\n";
    if (send(s.get(), request.data(), static_cast<int>(request.size()), 0) != static_cast<int>(request.size())) {
        return false;
    }
    // Read to the end: a connection cut early would be an error on the server's side.
    std::string reply;
    char buffer[4096];
    for (int n; (n = recv(s.get(), buffer, sizeof buffer, 0)) > 0;)
        reply.append(buffer, static_cast<std::size_t>(n));
    return reply.compare(0, 5, "HTTP/") == 0;
}

struct Child {
    ql::UniqueKernelHandle process;
    ql::UniqueKernelHandle thread;
};

Child Start(const std::wstring& program) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring line = L"\"" + program + L"\"";
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        return {};
    }
    return {ql::UniqueKernelHandle(pi.hProcess), ql::UniqueKernelHandle(pi.hThread)};
}

void End(Child& child) {
    if (!child.process) return;
    TerminateProcess(child.process.get(), 0);
    WaitForSingleObject(child.process.get(), 10000);
}

struct Memory {
    SIZE_T privateBytes = 0;
    SIZE_T workingSet = 0;
};

Memory MemoryOf(HANDLE process) {
    PROCESS_MEMORY_COUNTERS_EX c{};
    c.cb = sizeof c;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&c), sizeof c);
    return {c.PrivateUsage != 0 ? c.PrivateUsage : c.PagefileUsage, c.WorkingSetSize};
}

// The figures once they have settled: ten samples 100 ms apart within 16 KiB of each other,
// or the last after 15 seconds.
Memory Settled(HANDLE process) {
    Memory last = MemoryOf(process);
    int steady = 0;
    for (int i = 0; i < 150 && steady < 10; ++i) {
        if (WaitForSingleObject(process, 100) != WAIT_TIMEOUT) break;  // it ended
        const Memory now = MemoryOf(process);
        const auto within = [](SIZE_T a, SIZE_T b) { return (a > b ? a - b : b - a) <= 16 * 1024; };
        steady =
            within(now.privateBytes, last.privateBytes) && within(now.workingSet, last.workingSet) ? steady + 1 : 0;
        last = now;
    }
    return last;
}

// The service process the program started: its child named qinglan_service.exe.
ql::UniqueKernelHandle ServiceProcessOf(DWORD program) {
    const ql::UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return {};
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID == program && _wcsicmp(entry.szExeFile, L"qinglan_service.exe") == 0) {
            return ql::UniqueKernelHandle(
                OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, entry.th32ProcessID));
        }
    }
    return {};
}

void MemoryRun(const std::wstring& program, bool withService) {
    const char* mode = withService ? "with" : "without";
    ql::UniqueSocket held;
    if (!withService) {
        held = HoldPort();
        if (!held) {
            std::printf("memory\twithout\t-\t-\t-\t-\t-\n");
            return;
        }
    } else if (Answers()) {
        std::printf("memory\twith\t-\t-\t-\t-\t-\n");  // something else has the port
        return;
    }
    Child child = Start(program);
    if (!child.process) {
        std::printf("memory\t%s\t-\t-\t-\t-\t-\n", mode);
        return;
    }
    WaitForInputIdle(child.process.get(), 30000);
    bool served = false;
    if (withService) {
        // The service starts behind the window: wait until it answers.
        for (int i = 0; i < 300 && !(served = Answers()); ++i) {
            if (WaitForSingleObject(child.process.get(), 100) != WAIT_TIMEOUT) break;
        }
    }
    const Memory m = Settled(child.process.get());
    const ql::UniqueKernelHandle service = ServiceProcessOf(GetProcessId(child.process.get()));
    const Memory s = service ? Settled(service.get()) : Memory{};
    End(child);
    std::printf("memory\t%s\t%zu\t%zu\t%d\t", mode, m.privateBytes / 1024, m.workingSet / 1024, served ? 1 : 0);
    if (service) {
        std::printf("%zu\t%zu\n", s.privateBytes / 1024, s.workingSet / 1024);
    } else {
        std::printf("-\t-\n");
    }
    std::fflush(stdout);
}

void PaintRun(const std::wstring& program, bool withService) {
    ql::UniqueSocket held;
    if (!withService) held = HoldPort();
    Child child = Start(program);
    DWORD code = 0;
    if (child.process) {
        if (WaitForSingleObject(child.process.get(), 30000) == WAIT_OBJECT_0) {
            GetExitCodeProcess(child.process.get(), &code);
        } else {
            End(child);
        }
    }
    if (code <= 0xFFFF || (!withService && !held)) {
        std::printf("paint\t%s\t-\t-\n", withService ? "with" : "without");
    } else {
        std::printf("paint\t%s\t%.2f\t%.2f\n", withService ? "with" : "without", (code >> 16) / 10.0,
                    (code & 0xFFFF) / 10.0);
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: service_bench PROGRAM FIRST_PAINT_PROGRAM [ROUNDS STARTS]\n", stderr);
        return 2;
    }
    const std::wstring program = Widen(argv[1]);
    const std::wstring firstPaint = Widen(argv[2]);
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    const int starts = argc > 4 ? std::atoi(argv[4]) : 15;
    ql::WinsockScope winsock;
    if (!winsock.ok()) {
        std::fputs("service_bench: cannot start Winsock\n", stderr);
        return 1;
    }
    std::printf("port\t%d\n", kPort);
    for (int i = 0; i < rounds; ++i) {
        MemoryRun(program, i % 2 == 0);
        MemoryRun(program, i % 2 != 0);
    }
    for (int i = 0; i < starts; ++i) {
        PaintRun(firstPaint, i % 2 == 0);
        PaintRun(firstPaint, i % 2 != 0);
    }
    return 0;
}
