// Shared helpers of the Windows web tests: the local test server's address (its port comes
// from run_with_server.py in QL_TEST_SERVER_PORT), reading its echo of a request, a clock,
// and waiting while window messages are processed.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "text/text.h"

namespace ql::webtest {

inline int ServerPort() {
    char value[32] = {};
    const DWORD n = GetEnvironmentVariableA("QL_TEST_SERVER_PORT", value, sizeof value);
    return n > 0 && n < sizeof value ? std::atoi(value) : 0;
}

// "http://127.0.0.1:<port><path>"
inline Text ServerUrl(const std::string& path) {
    return Text("http://127.0.0.1:" + std::to_string(ServerPort()) + path);
}

// The request as the server received it: request line, header lines, body.
struct EchoedRequest {
    std::string requestLine;
    std::vector<std::string> headers;  // "Name: value", in the order received
    std::string body;

    // Values of the header lines with this name (any case), in order.
    std::vector<std::string> Values(const std::string& name) const {
        std::vector<std::string> values;
        for (const std::string& line : headers) {
            const auto colon = line.find(':');
            if (colon == std::string::npos || colon != name.size()) {
                continue;
            }
            if (_strnicmp(line.c_str(), name.c_str(), name.size()) == 0) {
                std::string value = line.substr(colon + 1);
                value.erase(0, value.find_first_not_of(' '));
                values.push_back(value);
            }
        }
        return values;
    }
    // Position of the first header line with this name, or -1.
    int IndexOf(const std::string& name) const {
        for (std::size_t i = 0; i < headers.size(); ++i) {
            if (headers[i].size() > name.size() && headers[i][name.size()] == ':' &&
                _strnicmp(headers[i].c_str(), name.c_str(), name.size()) == 0) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
};

inline EchoedRequest ParseEcho(const ByteSet& echo) {
    EchoedRequest request;
    const std::string raw(echo.begin(), echo.end());
    const auto headEnd = raw.find("\r\n\r\n");
    const std::string head = raw.substr(0, headEnd);
    request.body = headEnd == std::string::npos ? std::string() : raw.substr(headEnd + 4);
    std::size_t pos = 0;
    bool first = true;
    while (pos <= head.size()) {
        auto end = head.find("\r\n", pos);
        if (end == std::string::npos) {
            end = head.size();
        }
        const std::string line = head.substr(pos, end - pos);
        if (first) {
            request.requestLine = line;
            first = false;
        } else {
            request.headers.push_back(line);
        }
        pos = end + 2;
    }
    return request;
}

inline std::string AsString(const ByteSet& bytes) { return std::string(bytes.begin(), bytes.end()); }

inline double NowMs() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Waits `ms` while dispatching this thread's window messages.
inline void PumpMessagesFor(double ms) {
    const double end = NowMs() + ms;
    for (double now = NowMs(); now < end; now = NowMs()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now) + 1, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

// The server's counters ("tls=N hung=N …"): one of them by name, or -1.
int ServerCounter(const std::string& name);

}  // namespace ql::webtest
