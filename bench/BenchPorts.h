// Ports for the plain-C++ benchmarks: a private port folder, links in it,
// and the timing of a full scan of port numbers 1 to 255 as the window's
// port list makes it.
#pragma once

#include "CXSerial.h"
#include "PortNames.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace bench {

// A private XDG_RUNTIME_DIR under /tmp with an empty port folder, and the
// fixed table off, so that no benchmark reaches the machine's own serial
// devices. Returns the runtime folder ("" on failure); remove it when done.
inline std::string PrivateRuntime(const char* name)
{
    std::string pattern = std::string("/tmp/") + name + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        return {};
    ::setenv("XDG_RUNTIME_DIR", pattern.c_str(), 1);
    SetDeviceTableEnabled(false);
    const std::string folder = PortFolder();
    std::filesystem::create_directories(folder);
    ::chmod(folder.c_str(), 0700);
    return pattern;
}

// Points COM<n> of the port folder at `target`, replacing an older link.
inline void LinkPort(const std::string& folder, std::uint32_t n, const std::string& target)
{
    namespace fs = std::filesystem;
    const fs::path link = fs::path(folder) / ("COM" + std::to_string(n));
    std::error_code ignored;
    fs::remove(link, ignored);
    fs::create_symlink(target, link, ignored);
}

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
