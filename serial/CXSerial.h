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
// has returned, no hook call is running and none begins. A hook must not
// call Open, OpenDevice, Close or OpenOrReconfigure: they wait for the
// reader to end, and the reader is the thread running the hook. Write from
// a hook is allowed.
//
// A derived class must call Close in its own destructor: the reader may not
// call a hook of an object whose destruction has begun.
//
// The reader blocks in the kernel while nothing arrives; an open idle port
// costs no processor time. A device that goes away (an unplugged adapter)
// ends the reader: OnPortLost runs once, Write returns 0 from then on and
// LastFailure says Lost, until Close and a new Open. The port still counts as
// open meanwhile (its claim is released by Close); OpenOrReconfigure with the
// same number opens the device afresh instead of reconfiguring a dead one.
#pragma once

#include "PortNames.h"
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
    // Hands `count` bytes to the device in requests of at most 1024 bytes.
    // Each request waits at most 1000 ms for room; a request that times out
    // has the output queue discarded and is made again from the start of
    // its chunk. After the third time-out in one call Write gives up with 0,
    // so no call lasts much longer than 3 s.
    std::int32_t Write(const void* data, std::uint32_t count);

    // Open by device path instead of port number (the virtual module's
    // --device mode), with the same steps; PortNumber becomes 0.
    std::int32_t OpenDevice(const std::string& path, std::uint32_t baud, std::int32_t parity);

    // The device path of the open port, or of the last one tried.
    const std::string& DevicePath() const { return Device; }

    // Why the last Open, SetLineParams or Write failed, or why the reader
    // ended; None after a success. Owner's thread only.
    SerialFailure LastFailure() const;

    // Per-byte hook, called on the reader thread.
    virtual void OnReceiveByte(std::uint8_t byte) = 0;
    // Called once on the reader thread when the device goes away (an
    // unplugged adapter, the far end of a pseudo-terminal closed).
    virtual void OnPortLost() {}
    // Called on the writing thread, under WriteLock, before each write
    // request with the size of the chunk it carries; lets a derived class
    // watch how a block goes out.
    virtual void OnWriteRequest(std::uint32_t size) { (void)size; }

protected:
    std::int32_t StartReader();
    std::int32_t StopReader();
    // Asks the reader to end at the start of its next pass, without waiting
    // for it; safe from any thread, the reader's own included.
    void RequestStop();
    static void ReaderThread(CXSerial* self);

private:
    std::int32_t OpenPath(const std::string& path);
    void ReaderLoop();

    std::thread ReaderHandle;       // not joinable = none
    int StopEvent = 0;              // eventfd that wakes and ends the reader; 0 = none
    std::uint32_t PortNumber = 1;
    std::uint32_t Baud = 9600;
    std::int32_t ParityCode = 0;
    int DeviceHandle = 0;           // descriptor of the open device; 0 = none
    std::mutex WriteLock;
    std::atomic<bool> DeviceLost{false};
    std::atomic<int> LostError{0};  // errno behind the loss, 0 for a hang-up
    std::string Device;
    SerialFailure Failure;
};
