// A pseudo-terminal pair, for the virtual module and the tests: the slave
// end is a terminal that CXSerial opens like any serial device, the master
// end is the far side of the cable.
#pragma once

#include <cstddef>
#include <string>

struct PseudoTerminal {
    int master = -1;
    int slave = -1;          // held open so the master never sees a hang-up
    std::string slavePath;   // /dev/pts/N

    PseudoTerminal() = default;
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    PseudoTerminal(PseudoTerminal&& other) noexcept;
    PseudoTerminal& operator=(PseudoTerminal&& other) noexcept;
    ~PseudoTerminal();

    // Opens a new pair, both ends close-on-exec, the master non-blocking,
    // the slave in raw mode (no echo, no line editing, 8 bits).
    // Returns false with errno set on failure.
    bool Open();
    // Keeps the slave path valid but closes this object's own slave
    // descriptor, so that the master sees a hang-up once every other
    // holder closes too.
    void ReleaseSlave();
    // Closes the master: to a program holding the slave, an unplugged adapter.
    void CloseMaster();
    // Sets the tty's exclusive mark through this object's slave descriptor,
    // as a program that does not lock the device would.
    bool MarkSlaveExclusive();
    // Count of bytes the slave end has received and not yet read, whoever
    // holds it open.
    std::size_t SlaveBytesWaiting() const;
    void Close();
};
