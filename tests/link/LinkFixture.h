// Pieces for the suites that run the module link on real pseudo-terminals
// and against kestrin-sim: a private port folder, a link that counts the
// bytes its reader delivered, and a simulator process.
#pragma once

#include "KestrinSerial.h"
#include "LinkTestSupport.h"
#include "PseudoTerminal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

// Gives the process a private runtime folder and switches the fixed device
// table off, so no test ever reaches a real serial device of the machine.
// Set up once, before any port is named.
class PrivatePorts : public ::testing::Environment
{
public:
    void SetUp() override
    {
        char templ[] = "/tmp/kestrin-link-test-XXXXXX";
        const char* dir = ::mkdtemp(templ);
        ASSERT_NE(dir, nullptr);
        Root = dir;
        ::setenv("XDG_RUNTIME_DIR", Root.c_str(), 1);
        ::setenv("KESTRIN_DEVICE_TABLE", "0", 1);
        ::mkdir((Root + "/kestrin").c_str(), 0700);
        ::mkdir(Folder().c_str(), 0700);
    }

    void TearDown() override
    {
        const std::string cmd = "rm -rf '" + Root + "'";
        [[maybe_unused]] const int rc = std::system(cmd.c_str());
    }

    static std::string Folder() { return std::string(std::getenv("XDG_RUNTIME_DIR")) + "/kestrin/ports"; }

    static std::string Root;
};
inline std::string PrivatePorts::Root;

// Publishes `device` as COM<port> for the life of the object.
class PortLink
{
public:
    PortLink(std::uint32_t port, const std::string& device)
        : Path(PrivatePorts::Folder() + "/COM" + std::to_string(port))
    {
        ::unlink(Path.c_str());
        EXPECT_EQ(::symlink(device.c_str(), Path.c_str()), 0) << std::strerror(errno);
    }
    ~PortLink() { ::unlink(Path.c_str()); }

private:
    std::string Path;
};

// A module link that also counts, under a lock, the bytes its reader has
// handed to the framer, so a test can wait until a piece has gone through.
class CountingLink : public KestrinSerial
{
public:
    ~CountingLink() { Close(); }

    void OnReceiveByte(std::uint8_t byte) override
    {
        KestrinSerial::OnReceiveByte(byte);
        {
            const std::lock_guard<std::mutex> hold(Lock);
            ++Received;
        }
        Changed.notify_all();
    }

    bool WaitReceived(std::size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(5))
    {
        std::unique_lock<std::mutex> hold(Lock);
        return Changed.wait_for(hold, deadline, [&] { return Received >= count; });
    }

    void ResetCount()
    {
        const std::lock_guard<std::mutex> hold(Lock);
        Received = 0;
    }

private:
    std::mutex Lock;
    std::condition_variable Changed;
    std::size_t Received = 0;
};

inline bool WriteAll(int fd, const std::uint8_t* data, std::size_t count)
{
    while (count > 0) {
        const ssize_t n = ::write(fd, data, count);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 1000);
            continue;
        }
        if (n <= 0)
            return false;
        data += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

// Reads from a non-blocking descriptor until `count` bytes have come or the
// deadline passes; returns what came.
inline std::vector<std::uint8_t> ReadFor(int fd, std::size_t count, std::chrono::milliseconds deadline)
{
    std::vector<std::uint8_t> out;
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (out.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        std::uint8_t buf[256];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0)
            out.insert(out.end(), buf, buf + n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return out;
}

// kestrin-sim as a child process, started with --port and the options
// given; ended with SIGTERM when the object goes.
class SimProcess
{
public:
    explicit SimProcess(std::uint32_t port, std::vector<std::string> options = {})
    {
        std::vector<std::string> args = {KESTRIN_SIM_PATH, "--port", std::to_string(port)};
        args.insert(args.end(), options.begin(), options.end());
        Start(args);
    }

    // Without --port: the simulator picks its number.
    explicit SimProcess(std::vector<std::string> options)
    {
        options.insert(options.begin(), KESTRIN_SIM_PATH);
        Start(options);
    }

    ~SimProcess() { Stop(SIGTERM); }

    // The line "COM<n> <device>" it printed, "" if none came in time.
    const std::string& Banner() const { return Line; }

    // Sends `signal` and waits for the exit; returns the exit status, or -1.
    int Stop(int signal)
    {
        if (Pid <= 0)
            return -1;
        ::kill(Pid, signal);
        int status = 0;
        ::waitpid(Pid, &status, 0);
        Pid = -1;
        if (Out >= 0)
            ::close(Out);
        Out = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Waits until the simulator ends by itself (its stdout closes); returns
    // its exit status, or -1 if it is still running at the deadline.
    int WaitExit(std::chrono::milliseconds deadline)
    {
        if (Pid <= 0)
            return -1;
        pollfd p{Out, POLLIN, 0};
        const auto end = std::chrono::steady_clock::now() + deadline;
        char buf[64];
        while (true) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return -1;
            if (::read(Out, buf, sizeof buf) <= 0)
                break;
        }
        int status = 0;
        ::waitpid(Pid, &status, 0);
        Pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    void Start(const std::vector<std::string>& args)
    {
        int pipeFds[2];
        ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int rc = ::posix_spawn(&Pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        Out = pipeFds[0];
        ASSERT_EQ(rc, 0) << std::strerror(rc);
        // The one line it prints once its port is published.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (Line.empty() || Line.back() != '\n') {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            pollfd p{Out, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            char c;
            if (::read(Out, &c, 1) != 1)
                break;
            Line += c;
        }
        if (!Line.empty() && Line.back() == '\n')
            Line.pop_back();
    }

    pid_t Pid = -1;
    int Out = -1;
    std::string Line;
};
