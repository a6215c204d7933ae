// Timing of a full scan of port numbers 1 to 255, as the window's port
// list makes it.
#pragma once

#include "CXSerial.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

namespace bench {

struct ScanTiming {
    double medianMs = 0;
    double worstMs = 0;
    int present = 0;   // ports found by the last scan
};

inline ScanTiming TimePortScan(int rounds)
{
    using Clock = std::chrono::steady_clock;
    std::vector<double> millis;
    ScanTiming t;
    for (int r = 0; r < rounds; ++r) {
        t.present = 0;
        const auto start = Clock::now();
        for (std::uint32_t n = 1; n <= 255; ++n)
            t.present += IsPortPresent(n);
        millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(millis.begin(), millis.end());
    if (!millis.empty()) {
        t.medianMs = millis[millis.size() / 2];
        t.worstMs = millis.back();
    }
    return t;
}

} // namespace bench
