#include "SerialTestSupport.h"

#include <cerrno>
#include <poll.h>
#include <ctime>
#include <thread>

namespace serialtest {

void WriteToMaster(int master, const std::vector<std::uint8_t>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            ADD_FAILURE() << "write to master: " << errno;
            return;
        }
        pollfd pfd{master, POLLOUT, 0};
        ::poll(&pfd, 1, 1000);
    }
}

std::vector<std::uint8_t> ReadFromMaster(int master, std::size_t n, std::chrono::milliseconds limit)
{
    std::vector<std::uint8_t> got;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::uint8_t buffer[4096];
    while (got.size() < n && std::chrono::steady_clock::now() < deadline) {
        pollfd pfd{master, POLLIN, 0};
        ::poll(&pfd, 1, 100);
        const ssize_t r = ::read(master, buffer, sizeof buffer);
        if (r > 0)
            got.insert(got.end(), buffer, buffer + r);
    }
    return got;
}

namespace {

std::size_t CountEntries(const char* dir)
{
    std::size_t n = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        (void)entry;
        ++n;
    }
    return n;
}

} // namespace

std::size_t OpenDescriptorCount()
{
    return CountEntries("/proc/self/fd");
}

std::size_t ThreadCount()
{
    // ThreadSanitizer starts a helper thread of its own at the first
    // thread the process creates; one thread made and joined up front keeps
    // that helper out of the difference a test measures.
    static const bool warmedUp = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)warmedUp;
    return CountEntries("/proc/self/task");
}

std::chrono::microseconds ProcessCpuTime()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::microseconds(ts.tv_nsec / 1000);
}

} // namespace serialtest
