// The line settings of a terminal device as the kernel reports them, to
// check what a port really got.
#pragma once

#include <cstdint>

struct LineSettings {
    bool valid = false;         // false: the settings could not be read
    std::uint32_t baud = 0;     // 0 when the speed is not a standard one
    std::int32_t parity = -1;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int dataBits = 0;
    int stopBits = 0;
    bool hardwareFlow = false;  // CRTSCTS
    bool softwareFlow = false;  // any of IXON, IXOFF, IXANY
    bool parityCheck = false;   // INPCK or IGNPAR or PARMRK
    bool localLine = false;     // CLOCAL
    bool receiverOn = false;    // CREAD
    bool hangUpOnClose = false; // HUPCL
    bool raw = false;           // no canonical mode, echo, signals or
                                // character translation either way
    int minBytes = -1;          // VMIN
    int timeTenths = -1;        // VTIME
};

// The settings of the terminal behind descriptor `fd`.
LineSettings ReadLineSettings(int fd);

// The settings Open and SetLineParams ask a device for, without a device;
// valid false when the baud rate or parity code cannot be expressed.
LineSettings PlannedLineSettings(std::uint32_t baud, std::int32_t parity);
