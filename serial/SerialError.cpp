#include "SerialError.h"

#include <cstring>

namespace {

std::string Reason(const SerialFailure& failure)
{
    switch (failure.error) {
    case SerialError::None: return "no error";
    case SerialError::NoSuchPort: return "this port number names no device";
    case SerialError::Missing: return "no such device";
    case SerialError::Permission:
        return "permission denied \u2014 add your user to the dialout group (uucp on Arch) and log in again";
    case SerialError::Busy: return "in use by another program";
    case SerialError::NotTerminal: return "not a serial device";
    case SerialError::ConfigRefused: return "the device refused the line settings";
    case SerialError::Lost: return "the device went away";
    case SerialError::Timeout: return "the device took no data for too long";
    case SerialError::NotOpen: return "the port is not open";
    case SerialError::Other: break;
    }
    if (failure.osError != 0)
        return std::strerror(failure.osError);
    return "failed";
}

} // namespace

std::string DescribeFailure(const SerialFailure& failure)
{
    if (failure.device.empty())
        return Reason(failure);
    return failure.device + ": " + Reason(failure);
}
