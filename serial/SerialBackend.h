// What the portable core of CXSerial asks of the operating system. One
// backend file implements it (SerialPosix.cpp); nothing outside serial/
// includes this header.
#pragma once

#include "SerialError.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace SerialBackend {

// Opens `path` for reading and writing and claims it exclusively. Returns
// a descriptor of 3 or more, or 0 with `failure` filled in.
int OpenExclusive(const std::string& path, SerialFailure& failure);

// Whether `path` could be claimed now; the claim is released at once.
bool CanClaim(const std::string& path, SerialFailure& failure);

// Gives up the exclusive claim and closes the descriptor, discarding
// output still queued so that closing never waits on unsent bytes.
void ReleaseAndClose(int fd);

// Applies the fixed line settings with `baud` and `parity` and checks that
// the device took them. Returns 0 or an errno value.
int ApplyLineSettings(int fd, std::uint32_t baud, std::int32_t parity);

// Drops DTR and RTS. Devices without modem lines are left as they are.
void ClearModemLines(int fd);

enum class Queue { Input, Output, Both };
void Discard(int fd, Queue queue);

// A wake-up descriptor for the reader (3 or more), 0 on failure.
int CreateStopEvent();
void SignalStop(int stopEvent);
void CloseDescriptor(int fd);

enum class InputWait { Readable, Stop, Failed };
// Blocks until the device has input or a hang-up/error condition, or the
// stop event is signalled. Stop wins when both hold. `hangUp` tells that
// the device reported a hang-up or error condition.
InputWait WaitForInput(int fd, int stopEvent, bool& hangUp);

// Count of received bytes waiting in the driver, 0 if unknown.
std::size_t BytesWaiting(int fd);

enum class ReadResult { Data, Nothing, Lost, Failed };
// Non-blocking read of up to `size` bytes; `got` is set on Data, `err` on
// Lost and Failed.
ReadResult ReadSome(int fd, std::uint8_t* buffer, std::size_t size, std::size_t& got, int& err);

enum class SendResult { Sent, TimedOut, Lost, Failed };
// Hands `size` bytes to the device, continuing short writes, waiting at most
// `timeoutMs` in all for room. `err` is set on Lost and Failed.
SendResult SendAll(int fd, const std::uint8_t* data, std::size_t size, int timeoutMs, int& err);

// Errno values that mean the device went away while open.
bool IsLossErrno(int err);

// The target of link COM<port> in the port folder, "" when there is none
// or the folder is not to be trusted.
std::string PortLinkTarget(const std::string& folder, std::uint32_t port);

// User id and runtime folder, for the port folder's location.
std::string RuntimeBase();

// Sysfs facts about a tty device.
void DescribeDevice(const std::string& path, std::string& resolved,
                    std::string& manufacturer, std::string& product, std::string& serialNumber);

} // namespace SerialBackend
