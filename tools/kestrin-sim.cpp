// kestrin-sim: a virtual Kestrin module on a pseudo-terminal, so that the
// tool can be tried and tested without hardware.
//
// It publishes its line as COM<n> in the port folder, prints one line
// "COM<n> <device>" on stdout, answers read and write requests with its one
// parameter set, and removes its link when it ends. One thread, one poll()
// loop: it sleeps until a byte arrives, an answer byte falls due or a
// signal comes.

#include "Frames.h"
#include "PortNames.h"
#include "PseudoTerminal.h"
#include "ReplyFramer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <string>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char Usage[] =
    "Usage: kestrin-sim [options]\n"
    "A virtual Kestrin module on a pseudo-terminal. Prints \"COM<n> <device>\" and\n"
    "answers read and write requests until SIGINT or SIGTERM.\n"
    "\n"
    "  --port N          publish as COM<N> (1..255); default: the lowest number\n"
    "                    that names no device\n"
    "  --device PATH     speak on PATH (one end of a null-modem pair) instead of\n"
    "                    a new pseudo-terminal; needs --peer. The line is used as\n"
    "                    it is set: configure it first (stty -F PATH raw 9600)\n"
    "  --peer PATH       with --device: the far end, published as COM<n>\n"
    "  --silent          never answer\n"
    "  --bad-checksum    answer with a wrong checksum\n"
    "  --delay MS        wait MS milliseconds before each answer\n"
    "  --noise           send random bytes before each answer\n"
    "  --split           send each answer in pieces with gaps of 1-5 ms\n"
    "  --line-rate BAUD  pace every byte as a line at BAUD would (10 bits a byte)\n"
    "  --seed N          seed for --noise and --split (default: random)\n"
    "  --verbose         log every request and answer in hex on stderr\n"
    "  --help            show this text\n";

struct Options {
    std::uint32_t port = 0;
    std::string device;
    std::string peer;
    bool silent = false;
    bool badChecksum = false;
    bool noise = false;
    bool split = false;
    bool verbose = false;
    long delayMs = 0;
    long lineRate = 0;
    bool seeded = false;
    std::uint32_t seed = 0;
};

bool ParseNumber(const char* text, long lo, long hi, long& out)
{
    if (text == nullptr || *text == '\0')
        return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

// 0 to go on, otherwise the exit status.
int ParseOptions(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        long n = 0;
        if (a == "--help") {
            std::fputs(Usage, stdout);
            return -1;
        } else if (a == "--port") {
            if (!ParseNumber(value(), 1, 255, n)) {
                std::fputs("kestrin-sim: --port needs a number from 1 to 255\n", stderr);
                return 2;
            }
            o.port = static_cast<std::uint32_t>(n);
        } else if (a == "--device" || a == "--peer") {
            const char* v = value();
            if (v == nullptr || *v == '\0') {
                std::fprintf(stderr, "kestrin-sim: %s needs a path\n", a.c_str());
                return 2;
            }
            (a == "--device" ? o.device : o.peer) = v;
        } else if (a == "--delay") {
            if (!ParseNumber(value(), 0, 600000, o.delayMs)) {
                std::fputs("kestrin-sim: --delay needs milliseconds (0..600000)\n", stderr);
                return 2;
            }
        } else if (a == "--line-rate") {
            if (!ParseNumber(value(), 50, 4000000, o.lineRate)) {
                std::fputs("kestrin-sim: --line-rate needs a baud rate (50..4000000)\n", stderr);
                return 2;
            }
        } else if (a == "--seed") {
            if (!ParseNumber(value(), 0, 0x7FFFFFFF, n)) {
                std::fputs("kestrin-sim: --seed needs a number\n", stderr);
                return 2;
            }
            o.seeded = true;
            o.seed = static_cast<std::uint32_t>(n);
        } else if (a == "--silent") {
            o.silent = true;
        } else if (a == "--bad-checksum") {
            o.badChecksum = true;
        } else if (a == "--noise") {
            o.noise = true;
        } else if (a == "--split") {
            o.split = true;
        } else if (a == "--verbose") {
            o.verbose = true;
        } else {
            std::fprintf(stderr, "kestrin-sim: unknown option %s\n\n%s", a.c_str(), Usage);
            return 2;
        }
    }
    if (!o.device.empty() && o.peer.empty()) {
        std::fputs("kestrin-sim: --device needs --peer, the end of the line the tool opens\n", stderr);
        return 2;
    }
    if (o.device.empty() && !o.peer.empty()) {
        std::fputs("kestrin-sim: --peer only goes with --device\n", stderr);
        return 2;
    }
    return 0;
}

bool Exists(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

// mkdir -p with mode 0700 for the folders it creates.
bool MakeFolders(const std::string& path)
{
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/')
            continue;
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

// Absent: no device behind the number. Decided from names alone; no device
// is opened, so probing never disturbs a real port.
std::uint32_t LowestAbsentPort()
{
    for (std::uint32_t n = 1; n <= 255; ++n) {
        const std::string device = PortDevicePath(n);
        if (device.empty() || !Exists(device))
            return n;
    }
    return 0;
}

std::string LinkTarget(const std::string& link)
{
    char buf[4096];
    const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
    if (n < 0)
        return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

// Publishes `device` as `link`, replacing a stale link (one whose device
// is gone) but never a live one.
bool Publish(const std::string& link, const std::string& device)
{
    struct stat st{};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "kestrin-sim: %s exists and is not a link\n", link.c_str());
            return false;
        }
        if (Exists(link)) {
            std::fprintf(stderr, "kestrin-sim: %s is taken (-> %s)\n", link.c_str(), LinkTarget(link).c_str());
            return false;
        }
    }
    const std::string temp = link + ".new." + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(device.c_str(), temp.c_str()) != 0 || ::rename(temp.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "kestrin-sim: cannot publish %s: %s\n", link.c_str(), std::strerror(errno));
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

void Unpublish(const std::string& link, const std::string& device)
{
    // Only our own link: another simulator may have taken the name over.
    if (LinkTarget(link) == device)
        ::unlink(link.c_str());
}

// SIGINT, SIGTERM and SIGHUP arrive as readable data on a descriptor that
// the loop polls, rather than through a handler that would have to
// interrupt poll().
int SignalFd = -1;

bool InstallSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    if (::sigprocmask(SIG_BLOCK, &set, nullptr) != 0)
        return false;
    SignalFd = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    std::signal(SIGPIPE, SIG_IGN);
    return SignalFd >= 0;
}

struct PendingByte {
    std::uint8_t byte;
    Clock::time_point due;
};

class Module
{
public:
    Module(const Options& options, int fd) : Opt(options), Fd(fd)
    {
        if (Opt.seeded)
            Random.seed(Opt.seed);
        else
            Random.seed(std::random_device{}());
        Frame f;
        BuildWriteRequest(WindowDefaults(), f);
        for (std::size_t i = 0; i < Data.size(); ++i)
            Data[i] = f[8 + i];
    }

    // false once the line is gone.
    bool OnReadable()
    {
        std::uint8_t buf[1024];
        while (true) {
            const ssize_t n = ::read(Fd, buf, sizeof buf);
            if (n > 0) {
                for (ssize_t i = 0; i < n; ++i)
                    OnByte(buf[i]);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return true;
            return false;  // end of file or EIO: the device went away
        }
    }

    // Writes every byte that is due; false once the line is gone.
    bool Flush()
    {
        const auto now = Clock::now();
        std::uint8_t buf[1024];
        std::size_t n = 0;
        while (n < sizeof buf && n < Out.size() && Out[n].due <= now) {
            buf[n] = Out[n].byte;
            ++n;
        }
        if (n == 0)
            return true;
        const ssize_t w = ::write(Fd, buf, n);
        if (w < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        Out.erase(Out.begin(), Out.begin() + w);
        return true;
    }

    bool HasDue() const { return !Out.empty() && Out.front().due <= Clock::now(); }
    bool HasPending() const { return !Out.empty(); }
    Clock::time_point NextDue() const { return Out.front().due; }

private:
    void OnByte(std::uint8_t byte)
    {
        // Requests have the shape of replies, so the tool's own framer
        // assembles them.
        switch (Framer.Feed(byte)) {
        case ReplyFramer::Result::Reply:
            OnRequest(Framer.Frame());
            break;
        case ReplyFramer::Result::BadChecksum:
            if (Opt.verbose)
                std::fprintf(stderr, "-> %s (bad checksum, ignored)\n", ToHex(Framer.Frame(), FrameSize).c_str());
            break;
        default:
            break;
        }
    }

    void OnRequest(const std::uint8_t* request)
    {
        const std::uint8_t command = request[6];
        if (Opt.verbose)
            std::fprintf(stderr, "-> %s\n", ToHex(request, FrameSize).c_str());
        if (command == CommandWrite) {
            for (std::size_t i = 0; i < Data.size(); ++i)
                Data[i] = request[8 + i];
        } else if (command != CommandRead) {
            if (Opt.verbose)
                std::fprintf(stderr, "   unknown command %02X, ignored\n", command);
            return;
        }
        if (Opt.silent) {
            if (Opt.verbose)
                std::fputs("   (silent)\n", stderr);
            return;
        }
        Answer(command);
    }

    void Answer(std::uint8_t command)
    {
        // The module stores the data bytes as written, so a write followed
        // by a read returns the very same frequency code.
        Frame reply;
        BuildReadRequest(reply);
        reply[6] = command;
        for (std::size_t i = 0; i < Data.size(); ++i)
            reply[8 + i] = Data[i];
        reply[FrameChecksumOffset] = FrameChecksum(reply.data());
        if (Opt.badChecksum)
            reply[FrameChecksumOffset] = static_cast<std::uint8_t>(reply[FrameChecksumOffset] + 1);

        std::vector<std::uint8_t> bytes;
        if (Opt.noise) {
            const std::size_t n = 1 + Random() % 16;
            for (std::size_t i = 0; i < n; ++i)
                bytes.push_back(static_cast<std::uint8_t>(Random()));
        }
        const std::size_t replyStart = bytes.size();
        bytes.insert(bytes.end(), reply.begin(), reply.end());

        std::vector<std::size_t> cuts;  // offsets into bytes where a gap comes
        if (Opt.split) {
            const std::size_t pieces = 2 + Random() % 3;
            for (std::size_t p = 1; p < pieces; ++p)
                cuts.push_back(replyStart + 1 + Random() % (FrameSize - 1));
        }

        auto due = Clock::now() + std::chrono::milliseconds(Opt.delayMs);
        if (!Out.empty() && Out.back().due > due)
            due = Out.back().due;
        // 8 data bits framed by a start and a stop bit.
        const auto byteTime = Opt.lineRate > 0 ? std::chrono::nanoseconds(10'000'000'000LL / Opt.lineRate)
                                               : std::chrono::nanoseconds(0);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            for (std::size_t c : cuts)
                if (c == i)
                    due += std::chrono::milliseconds(1 + Random() % 5);
            Out.push_back({bytes[i], due});
            due += byteTime;
        }
        if (Opt.verbose)
            std::fprintf(stderr, "<- %s%s\n", ToHex(reply.data(), FrameSize).c_str(),
                         replyStart ? " (after noise)" : "");
    }

    const Options& Opt;
    int Fd;
    ReplyFramer Framer;
    std::array<std::uint8_t, 12> Data{};
    std::deque<PendingByte> Out;
    std::mt19937 Random;
};

int Run(const Options& opt)
{
    PseudoTerminal pty;
    int fd = -1;
    std::string toolDevice;
    if (opt.device.empty()) {
        // The pseudo-terminal keeps a descriptor of its own slave end, so
        // the master never reports a hang-up while the tool has its port
        // closed, and the loop below never spins.
        if (!pty.Open()) {
            std::fprintf(stderr, "kestrin-sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
            return 1;
        }
        fd = pty.master;
        toolDevice = pty.slavePath;
    } else {
        fd = ::open(opt.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            std::fprintf(stderr, "kestrin-sim: cannot open %s: %s\n", opt.device.c_str(), std::strerror(errno));
            return 1;
        }
        toolDevice = opt.peer;
    }

    const std::uint32_t port = opt.port != 0 ? opt.port : LowestAbsentPort();
    if (port == 0) {
        std::fputs("kestrin-sim: every port number from 1 to 255 names a device\n", stderr);
        return 1;
    }
    const std::string folder = PortFolder();
    if (!MakeFolders(folder)) {
        std::fprintf(stderr, "kestrin-sim: cannot create %s: %s\n", folder.c_str(), std::strerror(errno));
        return 1;
    }
    struct stat st{};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()
        || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        // The tool ignores a folder that others could plant links in.
        std::fprintf(stderr, "kestrin-sim: %s must be a folder of yours that only you can write\n", folder.c_str());
        return 1;
    }
    const std::string link = folder + "/COM" + std::to_string(port);
    if (!InstallSignals() || !Publish(link, toolDevice))
        return 1;

    std::printf("COM%u %s\n", port, toolDevice.c_str());
    std::fflush(stdout);

    Module module(opt, fd);
    int status = 0;
    while (true) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {SignalFd, POLLIN, 0}};
        // Decide once: asking the clock twice lets the head byte fall due
        // in between, and the loop would then wait for input forever with
        // the rest of an answer still queued.
        const bool due = module.HasDue();
        if (due)
            fds[0].events |= POLLOUT;
        int timeoutMs = -1;
        if (!due && module.HasPending()) {
            const auto wait = std::max(std::chrono::microseconds(0),
                std::chrono::ceil<std::chrono::microseconds>(module.NextDue() - Clock::now()));
            timespec ts{static_cast<time_t>(wait.count() / 1000000), static_cast<long>(wait.count() % 1000000) * 1000};
            const int r = ::ppoll(fds, 2, &ts, nullptr);
            if (r < 0 && errno != EINTR)
                break;
        } else {
            // With --device, look now and then whether the device is still
            // there: a removed link or node gives no poll event.
            if (!opt.device.empty())
                timeoutMs = 500;
            const int r = ::poll(fds, 2, timeoutMs);
            if (r < 0 && errno != EINTR)
                break;
        }
        if (fds[1].revents & POLLIN)
            break;
        if (fds[0].revents & (POLLERR | POLLNVAL | POLLHUP)) {
            std::fprintf(stderr, "kestrin-sim: %s went away\n", opt.device.empty() ? "the line" : opt.device.c_str());
            status = opt.device.empty() ? 1 : 0;
            break;
        }
        if ((fds[0].revents & POLLIN) && !module.OnReadable())
            break;
        if (!module.Flush())
            break;
        if (!opt.device.empty() && !Exists(opt.device)) {
            std::fprintf(stderr, "kestrin-sim: %s went away\n", opt.device.c_str());
            break;
        }
    }

    Unpublish(link, toolDevice);
    if (!opt.device.empty())
        ::close(fd);
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    Options opt;
    const int parsed = ParseOptions(argc, argv, opt);
    if (parsed != 0)
        return parsed < 0 ? 0 : parsed;
    return Run(opt);
}
