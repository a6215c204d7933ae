// Exchange latency through KestrinSerial to kestrin-sim over a pty: from
// SendReadCommand to the WParam 0 notification, over 1000 exchanges. Then
// the same exchange from a short pyserial script against the same
// simulator, the baseline a user would otherwise write.

#include "KestrinSerial.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
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

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Exchanges = 1000;
constexpr std::uint32_t Port = 1;

class Waiter : public NotifyTarget
{
public:
    void Post(const Notification& n) noexcept override
    {
        {
            const std::lock_guard<std::mutex> hold(Lock);
            ++Count;
            LastWparam = n.wparam;
        }
        Changed.notify_one();
    }

    bool WaitBeyond(std::size_t count)
    {
        std::unique_lock<std::mutex> hold(Lock);
        return Changed.wait_for(hold, std::chrono::seconds(2), [&] { return Count > count; });
    }

    std::size_t Seen()
    {
        const std::lock_guard<std::mutex> hold(Lock);
        return Count;
    }

private:
    std::mutex Lock;
    std::condition_variable Changed;
    std::size_t Count = 0;
    std::uintptr_t LastWparam = 0;
};

struct Figures {
    double median;
    double p99;
};

Figures Summarise(std::vector<double> us)
{
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)]};
}

pid_t StartSim(std::string& banner)
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::string port = std::to_string(Port);
    char* argv[] = {const_cast<char*>(KESTRIN_SIM_PATH), const_cast<char*>("--port"), port.data(), nullptr};
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0)
        return -1;
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (::poll(&p, 1, 5000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n')
        banner += c;
    ::close(out[0]);
    return pid;
}

const char* Python()
{
    // Debian's interpreter carries python3-serial; one first on PATH may not.
    return ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

} // namespace

int main()
{
    char root[] = "/tmp/kestrin-bench-XXXXXX";
    if (!::mkdtemp(root))
        return 1;
    ::setenv("XDG_RUNTIME_DIR", root, 1);
    ::setenv("KESTRIN_DEVICE_TABLE", "0", 1);

    std::string banner;
    const pid_t sim = StartSim(banner);
    if (sim < 0 || banner.empty()) {
        std::fprintf(stderr, "kestrin-sim did not start\n");
        return 1;
    }
    std::printf("simulator: %s\n", banner.c_str());

    Waiter waiter;
    Figures link{};
    {
        KestrinSerial module;
        module.SetNotifyTarget(&waiter, RegisterMessage(ReplyMessageName));
        if (module.Open(Port, 115200, 0) != 1) {
            std::fprintf(stderr, "cannot open COM%u\n", Port);
            ::kill(sim, SIGTERM);
            return 1;
        }
        std::vector<double> us;
        for (int i = 0; i < Exchanges + 10; ++i) {
            const std::size_t before = waiter.Seen();
            const auto start = Clock::now();
            module.SendReadCommand();
            if (!waiter.WaitBeyond(before)) {
                std::fprintf(stderr, "no reply to exchange %d\n", i);
                break;
            }
            const auto took = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
            if (i >= 10)  // the first few warm up
                us.push_back(took);
        }
        module.Close();
        if (us.empty()) {
            ::kill(sim, SIGTERM);
            return 1;
        }
        link = Summarise(us);
    }
    std::printf("KestrinSerial -> kestrin-sim, %d exchanges: median %.1f us, p99 %.1f us (goal: median < 200 us)\n",
                Exchanges, link.median, link.p99);

    const std::string device = std::string(root) + "/kestrin/ports/COM" + std::to_string(Port);
    const std::string cmd = std::string(Python()) + " " KESTRIN_PYSERIAL_SCRIPT " " + device + " --count "
        + std::to_string(Exchanges);
    double pyMedian = 0, pyP99 = 0;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        if (std::fscanf(p, "%lf %lf", &pyMedian, &pyP99) != 2)
            pyMedian = 0;
        ::pclose(p);
    }
    if (pyMedian > 0) {
        std::printf("pyserial script -> kestrin-sim, %d exchanges: median %.1f us, p99 %.1f us\n", Exchanges,
                    pyMedian, pyP99);
        std::printf("ratio pyserial / KestrinSerial: median %.2fx, p99 %.2fx\n", pyMedian / link.median,
                    pyP99 / link.p99);
    } else {
        std::printf("pyserial baseline not run (python3-serial missing?)\n");
    }

    ::kill(sim, SIGTERM);
    int status = 0;
    ::waitpid(sim, &status, 0);
    ::rmdir((std::string(root) + "/kestrin/ports").c_str());
    ::rmdir((std::string(root) + "/kestrin").c_str());
    ::rmdir(root);
    return 0;
}
