// Probing, opening, closing and the line settings, on pseudo-terminals.
#include "LineSettings.h"
#include "SerialTestSupport.h"

#include <ostream>

#include <fcntl.h>
#include <sys/file.h>

using namespace serialtest;

namespace {

using PortOpen = PortFolderFixture;

struct PresenceRow {
    const char* name;
    bool present;
    SerialError why;
    // Takes hold of the pty in some way; returns what to release afterwards.
    std::function<int(PseudoTerminal& pty, CXSerial& port)> hold;
};

void PrintTo(const PresenceRow& row, std::ostream* os) { *os << row.name; }

class Presence : public PortFolderFixture, public ::testing::WithParamInterface<PresenceRow> {};

TEST_P(Presence, OfAPty)
{
    PseudoTerminal pty = NewPty(3);
    RecordingPort port;
    const int extra = GetParam().hold(pty, port);
    const PortProbe probe = ProbePort(3);
    EXPECT_EQ(probe.present, GetParam().present);
    EXPECT_EQ(IsPortPresent(3), GetParam().present ? 1 : 0);
    EXPECT_EQ(probe.failure.error, GetParam().why);
    EXPECT_EQ(probe.device, pty.slavePath);
    if (!GetParam().present) {
        RecordingPort other;
        EXPECT_EQ(other.Open(3, 9600, 0), 0);
        EXPECT_EQ(other.IsOpen(), 0);
        EXPECT_EQ(other.LastFailure().error, SerialError::Busy);
    }
    if (extra > 0)
        ::close(extra);
}

const PresenceRow kPresenceRows[] = {
    {"free", true, SerialError::None, [](PseudoTerminal&, CXSerial&) { return 0; }},
    {"held_by_this_object", false, SerialError::Busy,
     [](PseudoTerminal&, CXSerial& port) {
         EXPECT_EQ(port.Open(3, 9600, 0), 1);
         return 0;
     }},
    {"locked_by_another_descriptor", false, SerialError::Busy,
     [](PseudoTerminal& pty, CXSerial&) {
         const int fd = ::open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
         EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
         return fd;
     }},
    {"marked_exclusive", false, SerialError::Busy,
     [](PseudoTerminal& pty, CXSerial&) {
         EXPECT_TRUE(pty.MarkSlaveExclusive());
         return 0;
     }},
};

INSTANTIATE_TEST_SUITE_P(Holders, Presence, ::testing::ValuesIn(kPresenceRows),
                         RowName{});

TEST_F(PortOpen, ProbingTheOpenPortLeavesItWorking)
{
    PseudoTerminal pty = NewPty(3);
    RecordingPort port;
    ASSERT_EQ(port.Open(3, 115200, 0), 1);
    EXPECT_EQ(IsPortPresent(3), 0);
    EXPECT_EQ(port.IsOpen(), 1);
    WriteToMaster(pty.master, {0x41, 0x42});
    EXPECT_TRUE(port.WaitForBytes(2));
    const std::uint8_t out[] = {0x43};
    EXPECT_EQ(port.Write(out, 1), 1);
    EXPECT_EQ(ReadFromMaster(pty.master, 1), std::vector<std::uint8_t>{0x43});
}

TEST_F(PortOpen, ClosingFreesThePortForOthers)
{
    PseudoTerminal pty = NewPty(3);
    RecordingPort port;
    ASSERT_EQ(port.Open(3, 9600, 0), 1);
    EXPECT_EQ(port.Close(), 1);
    EXPECT_EQ(port.IsOpen(), 0);
    EXPECT_EQ(IsPortPresent(3), 1);
    EXPECT_EQ(port.Close(), 1);  // closed already: at once, still 1
}

TEST_F(PortOpen, OpeningASecondPortClosesTheFirst)
{
    PseudoTerminal first = NewPty(3);
    PseudoTerminal second = NewPty(4);
    RecordingPort port;
    ASSERT_EQ(port.Open(3, 9600, 0), 1);
    ASSERT_EQ(port.Open(4, 9600, 0), 1);
    EXPECT_EQ(IsPortPresent(3), 1);
    EXPECT_EQ(IsPortPresent(4), 0);
    WriteToMaster(first.master, {0x01});
    WriteToMaster(second.master, {0x02});
    ASSERT_TRUE(port.WaitForBytes(1));
    EXPECT_EQ(port.Received(), std::vector<std::uint8_t>{0x02});
}

TEST_F(PortOpen, OpeningANumberWithoutDeviceClosesTheOpenPort)
{
    PseudoTerminal pty = NewPty(3);
    RecordingPort port;
    ASSERT_EQ(port.Open(3, 9600, 0), 1);
    EXPECT_EQ(port.Open(8, 9600, 0), 0);
    EXPECT_EQ(port.IsOpen(), 0);
    EXPECT_EQ(port.LastFailure().error, SerialError::NoSuchPort);
    EXPECT_EQ(IsPortPresent(3), 1);
}

TEST_F(PortOpen, ARefusedSettingGivesTheDeviceBack)
{
    PseudoTerminal pty = NewPty(3);
    RecordingPort port;
    EXPECT_EQ(port.Open(3, 12345, 0), 0);
    EXPECT_EQ(port.IsOpen(), 0);
    EXPECT_EQ(port.LastFailure().error, SerialError::ConfigRefused);
    EXPECT_EQ(port.LastFailure().device, pty.slavePath);
    EXPECT_EQ(IsPortPresent(3), 1);
}

TEST_F(PortOpen, OpenDeviceTakesAPathAndTheSameSteps)
{
    PseudoTerminal pty;
    ASSERT_TRUE(pty.Open());
    RecordingPort port;
    ASSERT_EQ(port.OpenDevice(pty.slavePath, 57600, 0), 1);
    EXPECT_EQ(port.DevicePath(), pty.slavePath);
    EXPECT_EQ(ReadLineSettings(pty.slave).baud, 57600u);
    WriteToMaster(pty.master, {0x55});
    EXPECT_TRUE(port.WaitForBytes(1));
}

class LineSettingsAfterOpen : public PortFolderFixture, public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(LineSettingsAfterOpen, AreRawEightBitsOneStopNoFlowControl)
{
    PseudoTerminal pty = NewPty(3);
    RecordingPort port;
    ASSERT_EQ(port.Open(3, GetParam(), 0), 1);
    const LineSettings s = ReadLineSettings(pty.slave);
    ASSERT_TRUE(s.valid);
    EXPECT_EQ(s.baud, GetParam());
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.stopBits, 1);
    EXPECT_EQ(s.parity, 0);
    EXPECT_FALSE(s.hardwareFlow);
    EXPECT_FALSE(s.softwareFlow);
    EXPECT_FALSE(s.parityCheck);
    EXPECT_FALSE(s.hangUpOnClose);
    EXPECT_TRUE(s.localLine);
    EXPECT_TRUE(s.receiverOn);
    EXPECT_TRUE(s.raw);
    EXPECT_EQ(s.minBytes, 0);
    EXPECT_EQ(s.timeTenths, 0);
}

INSTANTIATE_TEST_SUITE_P(Rates, LineSettingsAfterOpen,
                         ::testing::Values(1200u, 2400u, 4800u, 9600u, 19200u, 38400u, 57600u, 115200u,
                                           230400u, 460800u, 921600u));

TEST_F(PortOpen, SetLineParamsChangesTheRateAndRefusesAnUnknownOne)
{
    PseudoTerminal pty = NewPty(3);
    RecordingPort port;
    EXPECT_EQ(port.SetLineParams(9600, 0), 0);  // closed
    ASSERT_EQ(port.Open(3, 9600, 0), 1);
    EXPECT_EQ(port.SetLineParams(115200, 2), 1);
    EXPECT_EQ(ReadLineSettings(pty.slave).baud, 115200u);
    EXPECT_EQ(port.SetLineParams(12345, 0), 0);
    EXPECT_EQ(port.LastFailure().error, SerialError::ConfigRefused);
    EXPECT_EQ(port.SetLineParams(9600, 7), 0);
    EXPECT_EQ(port.IsOpen(), 1);
    EXPECT_EQ(ReadLineSettings(pty.slave).baud, 115200u);
    WriteToMaster(pty.master, {0x10});
    EXPECT_TRUE(port.WaitForBytes(1));
}

struct ParityRow {
    const char* name;
    std::int32_t code;
    bool valid;
    std::int32_t parity;
};

void PrintTo(const ParityRow& row, std::ostream* os) { *os << row.name; }

class PlannedParity : public ::testing::TestWithParam<ParityRow> {};

// A pty cannot carry parity, so what Open asks a real device for is checked
// on the settings it builds.
TEST_P(PlannedParity, MapsTheCode)
{
    const LineSettings s = PlannedLineSettings(9600, GetParam().code);
    EXPECT_EQ(s.valid, GetParam().valid);
    if (!GetParam().valid)
        return;
    EXPECT_EQ(s.parity, GetParam().parity);
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.stopBits, 1);
    EXPECT_FALSE(s.parityCheck);
    EXPECT_FALSE(s.softwareFlow);
    EXPECT_FALSE(s.hardwareFlow);
}

const ParityRow kParityRows[] = {
    {"none", 0, true, 0},
    {"odd", 1, true, 1},
    {"even", 2, true, 2},
    {"mark", 3, true, 3},
    {"space", 4, true, 4},
    {"unknown_code", 5, false, 0},
    {"only_the_low_byte_counts", 0x102, true, 2},
    {"negative", -1, false, 0},
};

INSTANTIATE_TEST_SUITE_P(Codes, PlannedParity, ::testing::ValuesIn(kParityRows),
                         RowName{});

TEST_F(PortOpen, ReconfiguringTheOpenNumberKeepsReaderAndQueuedBytes)
{
    PseudoTerminal pty = NewPty(3);
    RecordingPort port;
    Gate gate;
    port.onByte = [&](std::size_t n) {
        if (n == 1) {
            gate.Arrive();
            gate.WaitOpen();
        }
    };
    ASSERT_EQ(port.Open(3, 9600, 0), 1);
    WriteToMaster(pty.master, {0x01});
    ASSERT_TRUE(gate.WaitArrived());
    // The reader is held inside its pass; these bytes wait in the driver
    // while the line settings change.
    WriteToMaster(pty.master, {0x02, 0x03, 0x04});
    ASSERT_TRUE(SpinUntil([&] { return pty.SlaveBytesWaiting() == 3; }));
    EXPECT_EQ(port.OpenOrReconfigure(3, 115200, 1), 1);
    EXPECT_EQ(ReadLineSettings(pty.slave).baud, 115200u);
    EXPECT_EQ(pty.SlaveBytesWaiting(), 3u);
    gate.Open();
    ASSERT_TRUE(port.WaitForBytes(4));
    EXPECT_EQ(port.Received(), (std::vector<std::uint8_t>{0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(port.readers.size(), 1u);

    // Another number is a new Open.
    PseudoTerminal other = NewPty(4);
    EXPECT_EQ(port.OpenOrReconfigure(4, 9600, 0), 1);
    EXPECT_EQ(IsPortPresent(3), 1);
}

TEST_F(PortOpen, BytesWaitingBeforeOpenAreDiscardedAndAnEarlyWriteIsKept)
{
    PseudoTerminal pty = NewPty(3);
    WriteToMaster(pty.master, {0xEE, 0xEE, 0xEE});
    ASSERT_TRUE(SpinUntil([&] { return pty.SlaveBytesWaiting() == 3; }));
    RecordingPort port;
    ASSERT_EQ(port.Open(3, 9600, 0), 1);
    const std::uint8_t hello[] = {0x48, 0x49};
    EXPECT_EQ(port.Write(hello, 2), 1);
    EXPECT_EQ(ReadFromMaster(pty.master, 2), (std::vector<std::uint8_t>{0x48, 0x49}));
    WriteToMaster(pty.master, {0x5A});
    ASSERT_TRUE(port.WaitForBytes(1));
    EXPECT_EQ(port.Received(), std::vector<std::uint8_t>{0x5A});
}

} // namespace
