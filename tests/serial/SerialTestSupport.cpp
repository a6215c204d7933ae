#include "SerialTestSupport.h"

#include "ProcessFigures.h"

#include <cerrno>
#include <poll.h>

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

std::size_t OpenDescriptorCount()
{
    return figures::OpenDescriptorCount();
}

std::size_t ThreadCount()
{
    return figures::ThreadCount();
}

std::chrono::microseconds ProcessCpuTime()
{
    return figures::ProcessCpuTime();
}

} // namespace serialtest
