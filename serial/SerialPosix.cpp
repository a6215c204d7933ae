// The POSIX backend of CXSerial: every system call the serial port makes.
#include "LineSettings.h"
#include "SerialBackend.h"
#include "SerialError.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace {

// A descriptor member of CXSerial holding 0 means "none". A program started
// with stdin closed would get descriptor 0 from its next open(), and the port
// would then look closed while holding a device; so every descriptor we keep
// is moved to 3 or above.
int KeepAboveStdio(int fd)
{
    if (fd < 0 || fd > 2)
        return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    const int err = errno;
    ::close(fd);
    errno = err;
    return moved;
}

void CloseKeepingErrno(int fd)
{
    const int err = errno;
    ::close(fd);
    errno = err;
}

struct SpeedEntry {
    std::uint32_t baud;
    speed_t speed;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200},
    {300, B300}, {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400},
    {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

bool SpeedFor(std::uint32_t baud, speed_t& speed)
{
    for (const SpeedEntry& entry : kSpeeds) {
        if (entry.baud == baud) {
            speed = entry.speed;
            return true;
        }
    }
    return false;
}

std::uint32_t BaudFor(speed_t speed)
{
    for (const SpeedEntry& entry : kSpeeds) {
        if (entry.speed == speed)
            return entry.baud;
    }
    return 0;
}

// The parity codes are those of the Windows device-control block, which the
// window and the module share: 0 none, 1 odd, 2 even, 3 mark, 4 space. Only
// the low 8 bits count, as there.
bool ParityFlags(std::int32_t parity, tcflag_t& flags)
{
    switch (static_cast<std::uint8_t>(parity & 0xFF)) {
    case 0: flags = 0; return true;
    case 1: flags = PARENB | PARODD; return true;
    case 2: flags = PARENB; return true;
#ifdef CMSPAR
    case 3: flags = PARENB | CMSPAR | PARODD; return true;
    case 4: flags = PARENB | CMSPAR; return true;
#endif
    default: return false;
    }
}

// Builds the fixed line settings over `tio`. False when the rate or parity
// code has no termios form.
bool BuildTermios(termios& tio, std::uint32_t baud, std::int32_t parity)
{
    speed_t speed{};
    tcflag_t parityFlags = 0;
    if (!SpeedFor(baud, speed) || !ParityFlags(parity, parityFlags))
        return false;
    ::cfmakeraw(&tio);
    tcflag_t cleared = CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS | HUPCL;
#ifdef CMSPAR
    cleared |= CMSPAR;
#endif
    tio.c_cflag &= ~cleared;
    tio.c_cflag |= CS8 | CLOCAL | CREAD | parityFlags;
    // INPCK and IGNPAR off: a byte with a parity error is passed on as it
    // was received, neither dropped nor marked.
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK | ISTRIP);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    return true;
}

LineSettings DecodeTermios(const termios& tio)
{
    LineSettings s;
    s.valid = true;
    s.baud = BaudFor(::cfgetospeed(&tio));
    s.parity = 0;
    if (tio.c_cflag & PARENB) {
        const bool odd = (tio.c_cflag & PARODD) != 0;
        s.parity = odd ? 1 : 2;
#ifdef CMSPAR
        if (tio.c_cflag & CMSPAR)
            s.parity = odd ? 3 : 4;
#endif
    }
    switch (tio.c_cflag & CSIZE) {
    case CS5: s.dataBits = 5; break;
    case CS6: s.dataBits = 6; break;
    case CS7: s.dataBits = 7; break;
    default: s.dataBits = 8; break;
    }
    s.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    s.hardwareFlow = (tio.c_cflag & CRTSCTS) != 0;
    s.softwareFlow = (tio.c_iflag & (IXON | IXOFF | IXANY)) != 0;
    s.parityCheck = (tio.c_iflag & (INPCK | IGNPAR | PARMRK)) != 0;
    s.localLine = (tio.c_cflag & CLOCAL) != 0;
    s.receiverOn = (tio.c_cflag & CREAD) != 0;
    s.hangUpOnClose = (tio.c_cflag & HUPCL) != 0;
    s.raw = (tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0
        && (tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | BRKINT)) == 0
        && (tio.c_oflag & OPOST) == 0;
    s.minBytes = tio.c_cc[VMIN];
    s.timeTenths = tio.c_cc[VTIME];
    return s;
}

// Unix98 pseudo-terminal slaves: majors 136 to 143.
bool IsPseudoTerminal(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned major = ::major(st.st_rdev);
    return major >= 136 && major <= 143;
}

int RemainingMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Opens and checks `path`; with `mark` the tty's exclusive mark is set so
// that later opens by others fail too.
int Claim(const std::string& path, bool mark, SerialFailure& failure)
{
    failure = SerialFailure{};
    failure.device = path;
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0)
        fd = KeepAboveStdio(fd);
    if (fd < 0) {
        failure.osError = errno;
        failure.error = SerialErrorFromErrno(errno);
        return 0;
    }
    auto fail = [&](int err) {
        CloseKeepingErrno(fd);
        failure.osError = err;
        failure.error = SerialErrorFromErrno(err);
        return 0;
    };
    if (!::isatty(fd))
        return fail(ENOTTY);
    // Another kestrin (or anything that locks the device the same way)
    // holds it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(errno == EWOULDBLOCK ? EBUSY : errno);
    // Programs that do not lock still mark the tty exclusive; a privileged
    // opener gets past the mark, so ask for it instead of relying on open().
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0)
        return fail(EBUSY);
    if (mark && ::ioctl(fd, TIOCEXCL) != 0)
        return fail(errno);
    return fd;
}

std::string ReadSysfsLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    if (in)
        std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ' || line.back() == '\r'))
        line.pop_back();
    return line;
}

std::string RealPath(const std::string& path)
{
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer) == nullptr)
        return {};
    return buffer;
}

} // namespace

SerialError SerialErrorFromErrno(int err)
{
    switch (err) {
    case 0:
        return SerialError::None;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
    case ELOOP:
        return SerialError::Missing;
    case EACCES:
    case EPERM:
    case EROFS:
        return SerialError::Permission;
    case EBUSY:
    case EWOULDBLOCK:
        return SerialError::Busy;
    case ENOTTY:
        return SerialError::NotTerminal;
    case EINVAL:
        return SerialError::ConfigRefused;
    case EIO:
    case EPIPE:
        return SerialError::Lost;
    case ETIMEDOUT:
        return SerialError::Timeout;
    case EBADF:
        return SerialError::NotOpen;
    default:
        return SerialError::Other;
    }
}

LineSettings ReadLineSettings(int fd)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return LineSettings{};
    return DecodeTermios(tio);
}

LineSettings PlannedLineSettings(std::uint32_t baud, std::int32_t parity)
{
    termios tio{};
    if (!BuildTermios(tio, baud, parity))
        return LineSettings{};
    return DecodeTermios(tio);
}

namespace SerialBackend {

int OpenExclusive(const std::string& path, SerialFailure& failure)
{
    return Claim(path, true, failure);
}

bool CanClaim(const std::string& path, SerialFailure& failure)
{
    const int fd = Claim(path, false, failure);
    if (fd == 0)
        return false;
    ::close(fd);
    return true;
}

void ReleaseAndClose(int fd)
{
    if (fd <= 0)
        return;
    ::tcflush(fd, TCOFLUSH);
    ::ioctl(fd, TIOCNXCL);
    ::flock(fd, LOCK_UN);
    ::close(fd);
}

int ApplyLineSettings(int fd, std::uint32_t baud, std::int32_t parity)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return errno;
    if (!BuildTermios(tio, baud, parity))
        return EINVAL;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        return errno;
    // tcsetattr succeeds when any part of the request was taken, so check
    // what the device really has now.
    const LineSettings wanted = DecodeTermios(tio);
    const LineSettings got = ReadLineSettings(fd);
    if (!got.valid)
        return errno ? errno : EIO;
    // A pseudo-terminal always carries 8 bits without parity whatever it is
    // asked for; there is no wire for parity to matter on.
    const bool framingForced = IsPseudoTerminal(fd);
    if (got.baud != wanted.baud || got.hardwareFlow || got.softwareFlow || got.parityCheck || !got.raw
        || (!framingForced && (got.parity != wanted.parity || got.dataBits != 8 || got.stopBits != 1)))
        return EINVAL;
    return 0;
}

void ClearModemLines(int fd)
{
    // A pseudo-terminal has no modem lines and refuses the request; there is
    // nothing to drop there.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &lines);
}

void Discard(int fd, Queue queue)
{
    const int which = queue == Queue::Input ? TCIFLUSH : queue == Queue::Output ? TCOFLUSH : TCIOFLUSH;
    ::tcflush(fd, which);
}

int CreateStopEvent()
{
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0)
        return 0;
    const int kept = KeepAboveStdio(fd);
    return kept < 0 ? 0 : kept;
}

void SignalStop(int stopEvent)
{
    if (stopEvent <= 0)
        return;
    const std::uint64_t one = 1;
    while (::write(stopEvent, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void CloseDescriptor(int fd)
{
    if (fd > 0)
        ::close(fd);
}

InputWait WaitForInput(int fd, int stopEvent, bool& hangUp)
{
    pollfd fds[2] = {{stopEvent, POLLIN, 0}, {fd, POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, 2, -1);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return InputWait::Failed;
        }
        if (fds[0].revents & POLLIN)
            return InputWait::Stop;
        if (fds[0].revents & (POLLERR | POLLNVAL) || fds[1].revents & POLLNVAL)
            return InputWait::Failed;
        hangUp = (fds[1].revents & (POLLHUP | POLLERR)) != 0;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR))
            return InputWait::Readable;
    }
}

std::size_t BytesWaiting(int fd)
{
    int waiting = 0;
    if (::ioctl(fd, FIONREAD, &waiting) != 0 || waiting < 0)
        return 0;
    return static_cast<std::size_t>(waiting);
}

ReadResult ReadSome(int fd, std::uint8_t* buffer, std::size_t size, std::size_t& got, int& err)
{
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n > 0) {
            got = static_cast<std::size_t>(n);
            return ReadResult::Data;
        }
        if (n == 0) {
            // VMIN = VTIME = 0 reads return -1/EAGAIN when nothing waits; 0
            // is the end of the device.
            err = 0;
            return ReadResult::Lost;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return ReadResult::Nothing;
        err = errno;
        return IsLossErrno(err) ? ReadResult::Lost : ReadResult::Failed;
    }
}

SendResult SendAll(int fd, const std::uint8_t* data, std::size_t size, int timeoutMs, int& err)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    do {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n >= 0) {
            done += static_cast<std::size_t>(n);
            if (done == size)
                return SendResult::Sent;
        } else if (errno == EINTR) {
            continue;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
            err = errno;
            return IsLossErrno(err) ? SendResult::Lost : SendResult::Failed;
        }
        pollfd pfd{fd, POLLOUT, 0};
        for (;;) {
            const int ready = ::poll(&pfd, 1, RemainingMs(deadline));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready < 0) {
                err = errno;
                return SendResult::Failed;
            }
            if (ready == 0)
                return SendResult::TimedOut;
            break;
        }
        if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            err = EIO;
            return SendResult::Lost;
        }
    } while (done < size);
    return SendResult::Sent;
}

bool IsLossErrno(int err)
{
    return err == EIO || err == ENXIO || err == ENODEV || err == EPIPE;
}

std::string PortLinkTarget(const std::string& folder, std::uint32_t port)
{
    // Anyone who can write the folder could point a port at a device of
    // their choosing, so only a folder of the user's own counts.
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()
        || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return {};
    const std::string link = folder + "/COM" + std::to_string(port);
    if (::lstat(link.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return {};
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0)
        return {};
    std::string result(target, static_cast<std::size_t>(n));
    if (result.front() != '/')
        result = folder + "/" + result;
    return result;
}

std::string RuntimeBase()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0')
        return std::string(runtime) + "/kestrin";
    return "/tmp/kestrin-" + std::to_string(::getuid());
}

void DescribeDevice(const std::string& path, std::string& resolved,
                    std::string& manufacturer, std::string& product, std::string& serialNumber)
{
    resolved = RealPath(path);
    if (resolved.empty())
        return;
    const std::string name = resolved.substr(resolved.find_last_of('/') + 1);
    std::string dir = RealPath("/sys/class/tty/" + name + "/device");
    // The tty's device is a USB interface (or a usb-serial port below one);
    // the strings belong to the USB device further up, the first parent
    // folder that has an idVendor file.
    for (int depth = 0; depth < 4 && dir.size() > 1; ++depth) {
        if (::access((dir + "/idVendor").c_str(), R_OK) == 0) {
            manufacturer = ReadSysfsLine(dir + "/manufacturer");
            product = ReadSysfsLine(dir + "/product");
            serialNumber = ReadSysfsLine(dir + "/serial");
            return;
        }
        dir = dir.substr(0, dir.find_last_of('/'));
    }
}

} // namespace SerialBackend
