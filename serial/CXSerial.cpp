// The portable core of the serial port: the order of the steps of each
// operation. Every system call goes through SerialBackend.
#include "CXSerial.h"

#include "SerialBackend.h"

#include <algorithm>
#include <system_error>

namespace {

constexpr std::uint32_t kTransferSize = 1024;
constexpr int kWriteWaitMs = 1000;
constexpr int kWriteTimeoutsPerCall = 3;

} // namespace

CXSerial::CXSerial() = default;

CXSerial::~CXSerial()
{
    Close();
}

std::int32_t CXSerial::IsOpen() const
{
    // -1, the descriptor-API's "invalid", counts as none as well.
    return DeviceHandle > 0 ? 1 : 0;
}

SerialFailure CXSerial::LastFailure() const
{
    if (DeviceLost.load()) {
        SerialFailure lost;
        lost.error = SerialError::Lost;
        lost.osError = LostError.load();
        lost.device = Device;
        return lost;
    }
    return Failure;
}

std::int32_t CXSerial::Open(std::uint32_t port, std::uint32_t baud, std::int32_t parity)
{
    Close();
    PortNumber = port;
    Baud = baud;
    ParityCode = parity;
    const std::string path = PortDevicePath(port);
    if (path.empty()) {
        Device.clear();
        Failure = SerialFailure{SerialError::NoSuchPort, 0, {}};
        return 0;
    }
    return OpenPath(path);
}

std::int32_t CXSerial::OpenDevice(const std::string& path, std::uint32_t baud, std::int32_t parity)
{
    Close();
    PortNumber = 0;
    Baud = baud;
    ParityCode = parity;
    return OpenPath(path);
}

std::int32_t CXSerial::OpenPath(const std::string& path)
{
    Device = path;
    Failure = SerialFailure{};
    DeviceLost.store(false);
    LostError.store(0);
    DeviceHandle = SerialBackend::OpenExclusive(path, Failure);
    if (DeviceHandle == 0)
        return 0;
    SerialBackend::ClearModemLines(DeviceHandle);
    if (const int err = SerialBackend::ApplyLineSettings(DeviceHandle, Baud, ParityCode); err != 0) {
        // A device that cannot take our settings would be open yet useless;
        // give it back so that IsOpen tells the truth.
        SerialBackend::ReleaseAndClose(DeviceHandle);
        DeviceHandle = 0;
        Failure = SerialFailure{SerialError::ConfigRefused, err, path};
        return 0;
    }
    // Some drivers raise the modem lines again when the speed changes.
    SerialBackend::ClearModemLines(DeviceHandle);
    // Discard what arrived before the port was ours, here rather than on the
    // reader thread: a Write made right after Open returns must not be
    // discarded with it.
    SerialBackend::Discard(DeviceHandle, SerialBackend::Queue::Both);
    StartReader();
    return 1;
}

std::int32_t CXSerial::Close()
{
    if (IsOpen()) {
        StopReader();
        SerialBackend::ReleaseAndClose(DeviceHandle);
    }
    DeviceHandle = 0;
    DeviceLost.store(false);
    LostError.store(0);
    return 1;
}

std::int32_t CXSerial::SetLineParams(std::uint32_t baud, std::int32_t parity)
{
    if (!IsOpen()) {
        Failure = SerialFailure{SerialError::NotOpen, 0, Device};
        return 0;
    }
    if (const int err = SerialBackend::ApplyLineSettings(DeviceHandle, baud, parity); err != 0) {
        Failure = SerialFailure{SerialError::ConfigRefused, err, Device};
        return 0;
    }
    Failure = SerialFailure{};
    return 1;
}

std::int32_t CXSerial::OpenOrReconfigure(std::uint32_t port, std::uint32_t baud, std::int32_t parity)
{
    // A device that went away is opened afresh: its descriptor is dead even
    // though the port still counts as open until Close.
    if (IsOpen() && port == PortNumber && !DeviceLost.load())
        return SetLineParams(baud, parity);
    return Open(port, baud, parity);
}

std::int32_t CXSerial::Write(const void* data, std::uint32_t count)
{
    std::lock_guard<std::mutex> hold(WriteLock);
    if (!IsOpen()) {
        Failure = SerialFailure{SerialError::NotOpen, 0, Device};
        return 0;
    }
    if (data == nullptr && count != 0) {
        Failure = SerialFailure{SerialError::Other, 0, Device};
        return 0;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint32_t done = 0;
    int timeouts = 0;
    // The test for the end follows each pass, so a count of 0 still makes
    // one request of 0 bytes.
    do {
        if (DeviceLost.load())
            return 0;
        const std::uint32_t chunk = std::min(count - done, kTransferSize);
        OnWriteRequest(chunk);
        int err = 0;
        switch (SerialBackend::SendAll(DeviceHandle, bytes + done, chunk, kWriteWaitMs, err)) {
        case SerialBackend::SendResult::Sent:
            done += chunk;
            break;
        case SerialBackend::SendResult::TimedOut:
            // What of the chunk is still queued is thrown away, so the chunk
            // goes again from its start.
            SerialBackend::Discard(DeviceHandle, SerialBackend::Queue::Output);
            if (++timeouts >= kWriteTimeoutsPerCall) {
                Failure = SerialFailure{SerialError::Timeout, 0, Device};
                return 0;
            }
            break;
        case SerialBackend::SendResult::Lost:
            LostError.store(err);
            DeviceLost.store(true);
            return 0;
        case SerialBackend::SendResult::Failed:
            if (++timeouts >= kWriteTimeoutsPerCall) {
                Failure = SerialFailure{SerialErrorFromErrno(err), err, Device};
                return 0;
            }
            break;
        }
    } while (done < count);
    Failure = SerialFailure{};
    return 1;
}

std::int32_t CXSerial::StartReader()
{
    if (!IsOpen())
        return 0;
    StopReader();
    StopEvent = SerialBackend::CreateStopEvent();
    if (StopEvent == 0)
        return 0;
    try {
        ReaderHandle = std::thread(&CXSerial::ReaderThread, this);
    } catch (const std::system_error&) {
        SerialBackend::CloseDescriptor(StopEvent);
        StopEvent = 0;
        return 0;
    }
    return 1;
}

void CXSerial::RequestStop()
{
    SerialBackend::SignalStop(StopEvent);
}

std::int32_t CXSerial::StopReader()
{
    RequestStop();
    // The reader sees the stop at the start of its next pass, after the
    // bytes of the current one; joining waits for exactly that, so no hook
    // call runs once this returns.
    if (ReaderHandle.joinable())
        ReaderHandle.join();
    SerialBackend::CloseDescriptor(StopEvent);
    StopEvent = 0;
    return 1;
}

void CXSerial::ReaderThread(CXSerial* self)
{
    self->ReaderLoop();
}

void CXSerial::ReaderLoop()
{
    if (!IsOpen())
        return;
    std::uint8_t buffer[kTransferSize];
    for (;;) {
        bool hangUp = false;
        const SerialBackend::InputWait wait = SerialBackend::WaitForInput(DeviceHandle, StopEvent, hangUp);
        if (wait != SerialBackend::InputWait::Readable)
            return;
        const std::size_t waiting = SerialBackend::BytesWaiting(DeviceHandle);
        // Nothing counted yet the device is readable: the read itself tells
        // an end of the device from a spurious wake-up.
        const std::size_t want = waiting == 0 ? kTransferSize : std::min<std::size_t>(waiting, kTransferSize);
        std::size_t got = 0;
        int err = 0;
        switch (SerialBackend::ReadSome(DeviceHandle, buffer, want, got, err)) {
        case SerialBackend::ReadResult::Data:
            for (std::size_t i = 0; i < got; ++i)
                OnReceiveByte(buffer[i]);
            continue;
        case SerialBackend::ReadResult::Nothing:
            if (!hangUp)
                continue;
            break;
        case SerialBackend::ReadResult::Lost:
        case SerialBackend::ReadResult::Failed:
            // A read error that is not a loss would recur on every pass;
            // the reader ends on it rather than spin.
            break;
        }
        LostError.store(err);
        DeviceLost.store(true);
        OnPortLost();
        return;
    }
}
