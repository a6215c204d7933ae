// The time to probe all 255 port numbers when the port folder is hostile:
// links to a regular file, /dev/null, a directory, a dangling path and a
// loop, a live pty among them, and the folder itself writable by others or
// owned by another user (when run as root). A scan must stay as quick as
// over an honest folder however the links are spoiled.
#include "CXSerial.h"
#include "PortNames.h"
#include "PseudoTerminal.h"
#include "BenchPorts.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Median and worst of `rounds` scans, and how many ports each found.
void Scan(const char* what, int rounds)
{
    const bench::ScanTiming t = bench::TimePortScan(rounds);
    std::printf("scan 1-255, %-34s median %.3f ms, worst %.3f ms over %d rounds, %d present  (goal < 20 ms)\n",
                what, t.medianMs, t.worstMs, rounds, t.present);
}

} // namespace

int main()
{
    const std::string runtime = bench::PrivateRuntime("kestrin-hostile-bench");
    if (runtime.empty())
        return 1;
    const std::string folder = PortFolder();
    fs::create_directories(runtime + "/scratch");
    std::ofstream(runtime + "/scratch/plain") << "AT\r\n";

    PseudoTerminal pty;
    if (!pty.Open())
        return 1;
    bench::LinkPort(folder, 2, pty.slavePath);
    bench::LinkPort(folder, 3, runtime + "/scratch/plain");
    bench::LinkPort(folder, 4, "/dev/null");
    bench::LinkPort(folder, 5, runtime + "/scratch");
    bench::LinkPort(folder, 6, runtime + "/scratch/gone");
    bench::LinkPort(folder, 7, folder + "/COM8");
    bench::LinkPort(folder, 8, folder + "/COM7");
    const int rounds = 50;
    Scan("hostile links and one pty:", rounds);

    ::chmod(folder.c_str(), 0707);
    Scan("folder writable by others:", rounds);
    ::chmod(folder.c_str(), 0700);

    if (::geteuid() == 0 && ::chown(folder.c_str(), 65534, 65534) == 0) {
        Scan("folder owned by another user:", rounds);
        [[maybe_unused]] const int back = ::chown(folder.c_str(), 0, 0);
    }

    std::error_code ignored;
    fs::remove_all(runtime, ignored);
    return 0;
}
