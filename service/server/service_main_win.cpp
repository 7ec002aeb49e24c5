// qinglan_service.exe: the parse service and the product site run apart from the program.
//
//   qinglan_service [--port N] [--bind ADDRESS] [--allow-private] [--quiet] [--ready-event HANDLE]
//                   [--extractor PATH | --no-extractor]
//
// A site extractor (yt-dlp.exe) is asked beside the page reading when one lies beside this
// executable or on PATH, or where --extractor names it; --no-extractor asks none.
//
// The program runs it as its own service with --ready-event: the value of an event handle it
// has inherited, set once the service listens, so the program asks nothing before then.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/owned_socket_win.h"
#include "base/owned_win.h"
#include "service/fetch/extractor_win.h"
#include "service/server/service_server_win.h"
#include "text/wide.h"

namespace {

int Usage() {
    std::fputs(
        "usage: qinglan_service [--port N] [--bind ADDRESS] [--allow-private] [--quiet] [--ready-event HANDLE]\n"
        "                       [--extractor PATH | --no-extractor]\n",
        stderr);
    return 2;
}

}  // namespace

// The wide form of the command line's arguments: an extractor's path may lie outside the
// system's code page.
static std::wstring WideArgument(int i) {
    int count = 0;
    const ql::UniqueLocalArgv wide(CommandLineToArgvW(GetCommandLineW(), &count));
    return wide && i < count ? std::wstring(wide.get()[i]) : std::wstring();
}

int main(int argc, char** argv) {
    ql::service::ServerOptions options;
    bool quiet = false;
    bool findExtractor = true;
    ql::UniqueKernelHandle ready;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" && i + 1 < argc) {
            char* end = nullptr;
            const long port = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || port < 0 || port > 65535) return Usage();
            options.site.port = static_cast<int>(port);
        } else if (arg == "--bind" && i + 1 < argc) {
            options.site.bind = argv[++i];
        } else if (arg == "--allow-private") {
            options.allowPrivate = true;
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--ready-event" && i + 1 < argc) {
            char* end = nullptr;
            const unsigned long long handle = std::strtoull(argv[++i], &end, 10);
            if (*end != '\0' || handle == 0) return Usage();
            ready.reset(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle)));
        } else if (arg == "--extractor" && i + 1 < argc) {
            options.extractor = WideArgument(++i);
            findExtractor = false;
            if (options.extractor.empty()) return Usage();
        } else if (arg == "--no-extractor") {
            options.extractor.clear();
            findExtractor = false;
        } else {
            return Usage();
        }
    }
    if (findExtractor) options.extractor = ql::service::FindExtractor().value_or(std::wstring());
    if (!quiet) {
        options.log = [](const std::string& line) {
            std::fprintf(stderr, "qinglan-service: %s\n", line.c_str());
            std::fflush(stderr);
        };
    }
    ql::WinsockScope winsock;
    if (!winsock.ok()) {
        std::fputs("qinglan-service: cannot start Winsock\n", stderr);
        return 1;
    }
    ql::service::ServiceServer server(options);
    std::string why;
    if (!server.Listen(&why)) {
        std::fprintf(stderr, "qinglan-service: %s\n", why.c_str());
        return 1;
    }
    if (!quiet) {
        std::fprintf(stderr, "qinglan-service: listening on %s/\n", options.site.Base().c_str());
        if (!options.extractor.empty()) {
            std::fprintf(stderr, "qinglan-service: site extractor %s\n",
                         ql::GbkFromWide(options.extractor).str().c_str());
        }
        std::fflush(stderr);
    }
    if (ready) SetEvent(ready.get());
    server.Run();
    return 0;
}
