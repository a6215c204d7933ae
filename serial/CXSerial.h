// One serial device: probing, opening with fixed line settings, a locked
// writer, and a reader thread that hands every received byte to a hook.
//
// Thread safety
// -------------
// Every operation of CXSerial is called from one thread, the owner's (in
// kestrin: the window's thread). Open, Close, SetLineParams and
// OpenOrReconfigure must not overlap a Write. Write takes WriteLock for its
// whole run, so writers on several threads take turns.
//
// The reader thread, started by Open, calls OnReceiveByte once per received
// byte, in arrival order, and OnPortLost at most once when the device goes
// away. Those hooks run with no lock of this class held; whatever they share
// with other threads is theirs to protect. Once Close (or the destructor)
// has returned, no hook call is running and none begins.
//
// A derived class must call Close in its own destructor: the reader may not
// call a hook of an object whose destruction has begun.
#pragma once

#include "SerialError.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// 1 if port number `port` names a device that can be opened now, else 0.
// A device that another descriptor holds (flock, or the tty's exclusive
// mark) is absent.
std::int32_t IsPortPresent(std::uint32_t port);

class CXSerial
{
public:
    CXSerial();
    // Not virtual: an owner destroys the object through its most derived type.
    ~CXSerial();

    CXSerial(const CXSerial&) = delete;
    CXSerial& operator=(const CXSerial&) = delete;

    std::int32_t IsOpen() const;
    std::int32_t Open(std::uint32_t port, std::uint32_t baud, std::int32_t parity);
    std::int32_t Close();
    std::int32_t SetLineParams(std::uint32_t baud, std::int32_t parity);
    std::int32_t OpenOrReconfigure(std::uint32_t port, std::uint32_t baud, std::int32_t parity);
    std::int32_t Write(const void* data, std::uint32_t count);

    // Why the last Open, SetLineParams or Write failed, or why the reader
    // ended; None after a success. Owner's thread only.
    SerialFailure LastFailure() const;

    // Per-byte hook, called on the reader thread.
    virtual void OnReceiveByte(std::uint8_t byte) = 0;
    // Called once on the reader thread when the device goes away (an
    // unplugged adapter, the far end of a pseudo-terminal closed).
    virtual void OnPortLost() {}

protected:
    std::int32_t StartReader();
    std::int32_t StopReader();
    static void ReaderThread(CXSerial* self);

private:
    std::thread ReaderHandle;       // not joinable = none
    int StopEvent = 0;              // eventfd that wakes and ends the reader; 0 = none
    std::uint32_t PortNumber = 1;
    std::uint32_t Baud = 9600;
    std::int32_t ParityCode = 0;
    int DeviceHandle = 0;           // descriptor of the open device; 0 = none
    std::mutex WriteLock;
    std::atomic<bool> DeviceLost{false};
    SerialFailure Failure;
};
