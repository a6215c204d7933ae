// Figures for the serial port, on pseudo-terminals: processor time of an
// idle open port, latency from the far end to OnReceiveByte, reader
// throughput, and the time to probe every port number.
#include "CXSerial.h"
#include "PortNames.h"
#include "PseudoTerminal.h"
#include "BenchPorts.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double ProcessCpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

class CountingPort : public CXSerial {
public:
    ~CountingPort() { Close(); }

    void OnReceiveByte(std::uint8_t) override
    {
        const auto now = Clock::now().time_since_epoch().count();
        lastArrival.store(now, std::memory_order_relaxed);
        if (count.fetch_add(1, std::memory_order_relaxed) + 1 >= wanted.load(std::memory_order_relaxed)) {
            std::lock_guard<std::mutex> lock(m);
            cv.notify_all();
        }
    }

    bool WaitFor(std::uint64_t n, std::chrono::seconds limit = std::chrono::seconds(30))
    {
        wanted.store(n);
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, limit, [&] { return count.load() >= n; });
    }

    std::atomic<std::uint64_t> count{0};
    std::atomic<std::uint64_t> wanted{~0ull};
    std::atomic<Clock::rep> lastArrival{0};
    std::mutex m;
    std::condition_variable cv;
};

void WriteAll(int fd, const std::uint8_t* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            pollfd pfd{fd, POLLOUT, 0};
            ::poll(&pfd, 1, 100);
        }
    }
}

void IdleCpu(const std::string& folder, int seconds)
{
    PseudoTerminal pty;
    pty.Open();
    bench::LinkPort(folder, 1, pty.slavePath);
    CountingPort port;
    if (!port.Open(1, 115200, 0)) {
        std::printf("idle cpu: could not open the pty\n");
        return;
    }
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = ProcessCpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    std::printf("idle open port:      %.4f %% of a core over %.1f s  (goal < 0.1 %%)\n", 100.0 * cpu / wall, wall);
    port.Close();
    fs::remove(fs::path(folder) / "COM1");
}

void Latency(int samples)
{
    PseudoTerminal pty;
    pty.Open();
    CountingPort port;
    if (!port.OpenDevice(pty.slavePath, 115200, 0)) {
        std::printf("latency: could not open the pty\n");
        return;
    }
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(samples));
    const std::uint8_t byte = 0x5A;
    for (int i = 0; i < samples; ++i) {
        const auto sent = Clock::now();
        WriteAll(pty.master, &byte, 1);
        if (!port.WaitFor(static_cast<std::uint64_t>(i) + 1)) {
            std::printf("latency: byte %d never arrived\n", i);
            return;
        }
        const Clock::time_point arrived{Clock::duration{port.lastArrival.load()}};
        micros.push_back(std::chrono::duration<double, std::micro>(arrived - sent).count());
    }
    std::sort(micros.begin(), micros.end());
    const double median = micros[micros.size() / 2];
    const double p99 = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
    std::printf("latency far end -> OnReceiveByte: median %.1f us, p99 %.1f us over %d bytes  (goal median < 100 us)\n",
                median, p99, samples);
}

// One run: bytes per wall second, and per second of this process's own
// processor time (the far end's writer included), which a busy machine
// disturbs less.
bool ThroughputRun(std::size_t total, double& wallRate, double& cpuRate)
{
    PseudoTerminal pty;
    pty.Open();
    CountingPort port;
    if (!port.OpenDevice(pty.slavePath, 115200, 0))
        return false;
    std::vector<std::uint8_t> block(64 * 1024);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(i);
    const double cpu0 = ProcessCpuSeconds();
    const auto start = Clock::now();
    std::thread feeder([&] {
        for (std::size_t sent = 0; sent < total; sent += block.size())
            WriteAll(pty.master, block.data(), std::min(block.size(), total - sent));
    });
    const bool all = port.WaitFor(total, std::chrono::seconds(60));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = ProcessCpuSeconds() - cpu0;
    feeder.join();
    wallRate = static_cast<double>(port.count.load()) / seconds / 1e6;
    cpuRate = static_cast<double>(port.count.load()) / cpu / 1e6;
    return all;
}

void Throughput(std::size_t total, int runs)
{
    std::vector<double> wall, cpu;
    for (int r = 0; r < runs; ++r) {
        double w = 0, c = 0;
        if (!ThroughputRun(total, w, c)) {
            std::printf("reader throughput: run %d incomplete\n", r);
            return;
        }
        wall.push_back(w);
        cpu.push_back(c);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("reader throughput:   best %.1f MB/s, median %.1f MB/s over %d runs of %zu MB; "
                "%.1f MB per processor-second  (goal > 10 MB/s)\n",
                wall.back(), wall[wall.size() / 2], runs, total >> 20, cpu[cpu.size() / 2]);
}

void ProbeAll(const std::string& folder, int rounds)
{
    std::vector<PseudoTerminal> ptys(4);
    const std::uint32_t numbers[] = {3, 7, 33, 200};
    for (std::size_t i = 0; i < ptys.size(); ++i) {
        ptys[i].Open();
        bench::LinkPort(folder, numbers[i], ptys[i].slavePath);
    }
    const bench::ScanTiming t = bench::TimePortScan(rounds);
    std::printf("probe ports 1-255:   median %.3f ms, worst %.3f ms over %d rounds, %d present "
                "(fixed table off, 4 links)  (goal < 20 ms)\n",
                t.medianMs, t.worstMs, rounds, t.present);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string runtime = bench::PrivateRuntime("kestrin-serial-bench");
    if (runtime.empty())
        return 1;
    const std::string folder = PortFolder();

    // `bench_serial quick` shortens the idle measurement for a smoke run.
    const bool quick = argc > 1 && std::string(argv[1]) == "quick";
    IdleCpu(folder, quick ? 1 : 10);
    Latency(quick ? 200 : 5000);
    Throughput(quick ? (8u << 20) : (32u << 20), quick ? 1 : 5);
    ProbeAll(folder, 50);

    std::error_code ignored;
    fs::remove_all(runtime, ignored);
    return 0;
}
