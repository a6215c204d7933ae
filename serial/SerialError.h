// The one way a serial operation fails: a reason, the OS error behind it
// and the device it concerns, kept for the window to explain.
#pragma once

#include <string>

enum class SerialError {
    None,
    NoSuchPort,     // the number names no device
    Missing,        // the device does not exist
    Permission,     // no access (not in the dialout group)
    Busy,           // another program holds it
    NotTerminal,    // the path is not a serial device
    ConfigRefused,  // the device refused the line settings
    Lost,           // the device went away while open
    Timeout,        // a write could not go out in time
    NotOpen,        // the port is not open
    Other,
};

struct SerialFailure {
    SerialError error = SerialError::None;
    int osError = 0;        // errno, 0 if none
    std::string device;     // device path, empty if unknown
};

// Maps an errno value from opening or configuring a device to a reason.
SerialError SerialErrorFromErrno(int err);

// One sentence for the operator, e.g. "/dev/ttyUSB0: permission denied -
// add your user to the dialout group and log in again".
std::string DescribeFailure(const SerialFailure& failure);
