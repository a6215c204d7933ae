#include "PseudoTerminal.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace {

void CloseFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

PseudoTerminal::PseudoTerminal(PseudoTerminal&& other) noexcept
    : master(std::exchange(other.master, -1)),
      slave(std::exchange(other.slave, -1)),
      slavePath(std::move(other.slavePath))
{
}

PseudoTerminal& PseudoTerminal::operator=(PseudoTerminal&& other) noexcept
{
    if (this != &other) {
        Close();
        master = std::exchange(other.master, -1);
        slave = std::exchange(other.slave, -1);
        slavePath = std::move(other.slavePath);
    }
    return *this;
}

PseudoTerminal::~PseudoTerminal()
{
    Close();
}

bool PseudoTerminal::Open()
{
    Close();
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master < 0)
        return false;
    char name[PATH_MAX];
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0) {
        const int err = errno;
        Close();
        errno = err;
        return false;
    }
    slavePath = name;
    slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (slave < 0) {
        const int err = errno;
        Close();
        errno = err;
        return false;
    }
    // Raw from the start: a cooked slave would echo the module's replies
    // back into the master before the tool has configured the line.
    termios tio{};
    if (::tcgetattr(slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    return true;
}

void PseudoTerminal::ReleaseSlave()
{
    CloseFd(slave);
}

void PseudoTerminal::CloseMaster()
{
    CloseFd(master);
}

bool PseudoTerminal::MarkSlaveExclusive()
{
    return slave >= 0 && ::ioctl(slave, TIOCEXCL) == 0;
}

std::size_t PseudoTerminal::SlaveBytesWaiting() const
{
    int waiting = 0;
    if (slave < 0 || ::ioctl(slave, FIONREAD, &waiting) != 0 || waiting < 0)
        return 0;
    return static_cast<std::size_t>(waiting);
}

void PseudoTerminal::Close()
{
    CloseFd(slave);
    CloseFd(master);
}
