// How a port number (1 to 255) names a device on Linux, and what the window
// can say about a port in its port list.
//
// A number names a device in one of two ways, looked up in this order:
//   1. a link COM<n> in the port folder; its target is the device;
//   2. the fixed table: COM1-32 /dev/ttyS0-31, COM33-64 /dev/ttyUSB0-31,
//      COM65-96 /dev/ttyACM0-31, COM97-128 /dev/ttyAMA0-31,
//      COM129-160 /dev/rfcomm0-31.
// The fixed table can be switched off (SetDeviceTableEnabled(false) in the
// process, or KESTRIN_DEVICE_TABLE=0 in the environment) so that tests and
// the virtual module never reach the machine's own serial devices.
#pragma once

#include "SerialError.h"

#include <cstdint>
#include <string>

// $XDG_RUNTIME_DIR/kestrin/ports, or /tmp/kestrin-<uid>/ports when
// XDG_RUNTIME_DIR is unset or empty. The folder may not exist; it counts
// only when it is a directory owned by the user that neither the group nor
// others can write.
std::string PortFolder();

// The device that port number `port` names, "" if none.
std::string PortDevicePath(std::uint32_t port);

// The fixed table alone, "" for a number outside it (ignores the switch).
std::string FixedTableDevice(std::uint32_t port);

// In-process switch for the fixed table; on by default. The table is used
// only while this is on and KESTRIN_DEVICE_TABLE is not "0".
void SetDeviceTableEnabled(bool enabled);
bool DeviceTableEnabled();

// Whether a port can be opened now, and if not, why.
struct PortProbe {
    bool present = false;
    std::string device;       // "" when the number names no device
    SerialFailure failure;    // error None when present
};

// IsPortPresent(n) == ProbePort(n).present.
PortProbe ProbePort(std::uint32_t port);

// What the machine tells about the device behind a port, for a tooltip.
// The USB fields are empty for anything but a USB adapter.
struct PortInfo {
    std::string device;        // as named by the port, "" if none
    std::string resolved;      // the device after following links
    std::string manufacturer;
    std::string product;
    std::string serialNumber;
};

PortInfo DescribePort(std::uint32_t port);
