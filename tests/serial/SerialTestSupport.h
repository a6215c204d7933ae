// Shared pieces of the serial suites: a private port folder, a port object
// that records what its hooks see, and waiting on a condition.
#pragma once

#include "CXSerial.h"
#include "PortNames.h"
#include "PseudoTerminal.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <atomic>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace serialtest {

namespace fs = std::filesystem;

// Names a parameterised case after its row: the row's `name`, with anything
// but letters and digits turned into '_'.
struct RowName {
    template <class Info>
    std::string operator()(const Info& row) const
    {
        std::string name = row.param.name;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    }
};

// Every test gets its own XDG_RUNTIME_DIR with a port folder in it, and the
// fixed device table off, so that no real device of the machine is reached.
class PortFolderFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kestrin-serial-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        runtime = pattern;
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        SetDeviceTableEnabled(false);
        folder = runtime + "/kestrin/ports";
        fs::create_directories(folder);
        ::chmod(folder.c_str(), 0700);
        ASSERT_EQ(PortFolder(), folder);
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(runtime, ignored);
        SetDeviceTableEnabled(true);
    }

    void LinkPort(std::uint32_t port, const std::string& target) const
    {
        const fs::path link = fs::path(folder) / ("COM" + std::to_string(port));
        std::error_code ignored;
        fs::remove(link, ignored);
        fs::create_symlink(target, link);
    }

    // A new pseudo-terminal presented as port `port`.
    PseudoTerminal NewPty(std::uint32_t port) const
    {
        PseudoTerminal pty;
        EXPECT_TRUE(pty.Open());
        LinkPort(port, pty.slavePath);
        return pty;
    }

    std::string runtime;
    std::string folder;
};

// Waits up to `limit` for `done` to hold, checking whenever `cv` is
// notified; true if it held.
inline bool WaitUntil(std::mutex& m, std::condition_variable& cv, const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(5000))
{
    std::unique_lock<std::mutex> lock(m);
    return cv.wait_for(lock, limit, done);
}

class RecordingPort : public CXSerial {
public:
    ~RecordingPort() { Close(); }

    using CXSerial::RequestStop;
    using CXSerial::StartReader;
    using CXSerial::StopReader;

    void OnReceiveByte(std::uint8_t byte) override
    {
        std::size_t count = 0;
        {
            std::lock_guard<std::mutex> lock(m);
            received.push_back(byte);
            readers.insert(std::this_thread::get_id());
            count = received.size();
        }
        cv.notify_all();
        if (onByte)
            onByte(count);
    }

    void OnPortLost() override
    {
        {
            std::lock_guard<std::mutex> lock(m);
            ++lostCount;
        }
        cv.notify_all();
    }

    void OnWriteRequest(std::uint32_t size) override
    {
        requests.push_back(size);
        ++requestCount;
    }

    bool WaitForBytes(std::size_t n, std::chrono::milliseconds limit = std::chrono::milliseconds(5000))
    {
        return WaitUntil(m, cv, [&] { return received.size() >= n; }, limit);
    }

    bool WaitForLoss()
    {
        return WaitUntil(m, cv, [&] { return lostCount > 0; });
    }

    std::vector<std::uint8_t> Received()
    {
        std::lock_guard<std::mutex> lock(m);
        return received;
    }

    int LostCount()
    {
        std::lock_guard<std::mutex> lock(m);
        return lostCount;
    }

    std::mutex m;
    std::condition_variable cv;
    std::vector<std::uint8_t> received;
    int lostCount = 0;
    std::set<std::thread::id> readers;  // every thread that delivered a byte
    // Runs on the reader thread, after each byte is stored, with the count
    // so far; set before the port is opened.
    std::function<void(std::size_t)> onByte;
    std::atomic<int> requestCount{0};
    std::vector<std::uint32_t> requests;  // writing thread only
};

// A gate a hook can wait at until the test opens it.
class Gate {
public:
    void Open()
    {
        {
            std::lock_guard<std::mutex> lock(m_);
            open_ = true;
        }
        cv_.notify_all();
    }
    void WaitOpen()
    {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait_for(lock, std::chrono::seconds(10), [&] { return open_; });
    }
    // Called by the waiter before it waits, so the test knows it is there.
    void Arrive()
    {
        {
            std::lock_guard<std::mutex> lock(m_);
            arrived_ = true;
        }
        cv_.notify_all();
    }
    bool WaitArrived()
    {
        std::unique_lock<std::mutex> lock(m_);
        return cv_.wait_for(lock, std::chrono::seconds(5), [&] { return arrived_; });
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
    bool arrived_ = false;
};

// Until `done` holds or `limit` passes, yielding between checks; for kernel
// state no one notifies about (bytes reaching a tty's queue).
inline bool SpinUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(5000))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

// Descriptors and threads of this process, from /proc/self.
std::size_t OpenDescriptorCount();
std::size_t ThreadCount();
// Processor time used by the whole process so far.
std::chrono::microseconds ProcessCpuTime();

// Writes all of `bytes` to the master end, waiting for room.
void WriteToMaster(int master, const std::vector<std::uint8_t>& bytes);

// Reads from the master end until `n` bytes came or `limit` passed.
std::vector<std::uint8_t> ReadFromMaster(int master, std::size_t n,
                                         std::chrono::milliseconds limit = std::chrono::milliseconds(5000));

} // namespace serialtest
