// What the Windows benchmarks share: a wall clock and the median of their rounds.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

namespace ql::bench {

inline double NowSeconds() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// 0 for no rounds.
inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace ql::bench
