#include "PortNames.h"

#include "SerialBackend.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<bool> gDeviceTableEnabled{true};

struct TableRange {
    std::uint32_t first;
    const char* prefix;
};

// Each family of device gets 32 numbers, in the order a user is most likely
// to meet them.
constexpr TableRange kTable[] = {
    {1, "/dev/ttyS"},
    {33, "/dev/ttyUSB"},
    {65, "/dev/ttyACM"},
    {97, "/dev/ttyAMA"},
    {129, "/dev/rfcomm"},
};
constexpr std::uint32_t kRangeSize = 32;

} // namespace

std::string PortFolder()
{
    return SerialBackend::RuntimeBase() + "/ports";
}

std::string FixedTableDevice(std::uint32_t port)
{
    for (const TableRange& range : kTable) {
        if (port >= range.first && port < range.first + kRangeSize)
            return range.prefix + std::to_string(port - range.first);
    }
    return {};
}

void SetDeviceTableEnabled(bool enabled)
{
    gDeviceTableEnabled.store(enabled);
}

bool DeviceTableEnabled()
{
    if (!gDeviceTableEnabled.load())
        return false;
    const char* env = std::getenv("KESTRIN_DEVICE_TABLE");
    return env == nullptr || std::strcmp(env, "0") != 0;
}

std::string PortDevicePath(std::uint32_t port)
{
    if (port == 0 || port > 255)
        return {};
    std::string linked = SerialBackend::PortLinkTarget(PortFolder(), port);
    if (!linked.empty())
        return linked;
    return DeviceTableEnabled() ? FixedTableDevice(port) : std::string{};
}

PortProbe ProbePort(std::uint32_t port)
{
    PortProbe probe;
    probe.device = PortDevicePath(port);
    if (probe.device.empty()) {
        probe.failure.error = SerialError::NoSuchPort;
        return probe;
    }
    probe.present = SerialBackend::CanClaim(probe.device, probe.failure);
    return probe;
}

PortInfo DescribePort(std::uint32_t port)
{
    PortInfo info;
    info.device = PortDevicePath(port);
    if (!info.device.empty())
        SerialBackend::DescribeDevice(info.device, info.resolved, info.manufacturer, info.product,
                                      info.serialNumber);
    return info;
}

std::int32_t IsPortPresent(std::uint32_t port)
{
    return ProbePort(port).present ? 1 : 0;
}
