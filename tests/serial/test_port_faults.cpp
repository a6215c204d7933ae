// A device that goes away or stops taking data: the far end of a pty
// closed is an unplugged adapter, a far end that never reads a stalled line.
#include "SerialTestSupport.h"

using namespace serialtest;

namespace {

using PortFaults = PortFolderFixture;

// Processor time the process uses while it waits `span` for a second loss
// report that must never come. A reader spinning on a dead device would use
// about all of it.
std::chrono::microseconds CpuWhileWaiting(RecordingPort& port, std::chrono::milliseconds span)
{
    const auto before = ProcessCpuTime();
    EXPECT_FALSE(WaitUntil(port.m, port.cv, [&] { return port.lostCount > 1; }, span));
    return ProcessCpuTime() - before;
}

TEST_F(PortFaults, FarEndClosedWhileIdle)
{
    PseudoTerminal pty = NewPty(3);
    RecordingPort port;
    ASSERT_EQ(port.Open(3, 115200, 0), 1);
    WriteToMaster(pty.master, {0x01, 0x02});
    ASSERT_TRUE(port.WaitForBytes(2));
    pty.CloseMaster();
    ASSERT_TRUE(port.WaitForLoss());
    EXPECT_LT(CpuWhileWaiting(port, std::chrono::milliseconds(300)), std::chrono::milliseconds(100));
    EXPECT_EQ(port.LostCount(), 1);
    EXPECT_EQ(port.LastFailure().error, SerialError::Lost);
    EXPECT_EQ(port.LastFailure().device, pty.slavePath);

    const std::uint8_t byte = 0x03;
    port.requestCount = 0;
    EXPECT_EQ(port.Write(&byte, 1), 0);
    EXPECT_EQ(port.requestCount.load(), 0);  // no attempt on a lost device
    EXPECT_EQ(port.Close(), 1);
    EXPECT_EQ(port.LastFailure().error, SerialError::None);

    // The adapter plugged in again.
    PseudoTerminal replugged = NewPty(3);
    ASSERT_EQ(port.Open(3, 115200, 0), 1);
    WriteToMaster(replugged.master, {0x04});
    ASSERT_TRUE(port.WaitForBytes(3));
    EXPECT_EQ(port.Received().back(), 0x04);
    EXPECT_EQ(port.LostCount(), 1);
}

TEST_F(PortFaults, ReconfiguringALostPortOpensTheRepluggedDevice)
{
    PseudoTerminal pty = NewPty(3);
    RecordingPort port;
    ASSERT_EQ(port.Open(3, 9600, 0), 1);
    pty.CloseMaster();
    ASSERT_TRUE(port.WaitForLoss());
    EXPECT_EQ(port.IsOpen(), 1);  // held until Close, so the claim is released there
    PseudoTerminal replugged = NewPty(3);
    ASSERT_EQ(port.OpenOrReconfigure(3, 9600, 0), 1);
    EXPECT_EQ(port.LastFailure().error, SerialError::None);
    WriteToMaster(replugged.master, {0x07});
    ASSERT_TRUE(port.WaitForBytes(1));
    EXPECT_EQ(port.Received(), std::vector<std::uint8_t>{0x07});
}

TEST_F(PortFaults, FarEndClosedDuringAWrite)
{
    PseudoTerminal pty = NewPty(3);
    RecordingPort port;
    ASSERT_EQ(port.Open(3, 115200, 0), 1);
    // Far more than a pty holds, and no one reads: the Write is stuck
    // waiting for room when the far end goes.
    const std::vector<std::uint8_t> block(256 * 1024, 0x55);
    std::int32_t result = -1;
    std::thread writer([&] { result = port.Write(block.data(), static_cast<std::uint32_t>(block.size())); });
    ASSERT_TRUE(SpinUntil([&] { return port.requestCount.load() > 0; }));
    pty.CloseMaster();
    writer.join();
    EXPECT_EQ(result, 0);
    ASSERT_TRUE(port.WaitForLoss());
    EXPECT_LT(CpuWhileWaiting(port, std::chrono::milliseconds(300)), std::chrono::milliseconds(100));
    EXPECT_EQ(port.LostCount(), 1);
    EXPECT_EQ(port.LastFailure().error, SerialError::Lost);
}

TEST_F(PortFaults, FarEndNeverReadingMakesWriteGiveUp)
{
    PseudoTerminal pty = NewPty(3);
    RecordingPort port;
    ASSERT_EQ(port.Open(3, 115200, 0), 1);
    const std::vector<std::uint8_t> block(256 * 1024, 0x66);
    EXPECT_EQ(port.Write(block.data(), static_cast<std::uint32_t>(block.size())), 0);
    EXPECT_EQ(port.LastFailure().error, SerialError::Timeout);
    EXPECT_EQ(port.IsOpen(), 1);
    EXPECT_EQ(port.LostCount(), 0);
    // The line recovers once the far end reads again.
    ReadFromMaster(pty.master, 1 << 20, std::chrono::milliseconds(200));
    const std::uint8_t frame[23] = {0xAF, 0xAF};
    EXPECT_EQ(port.Write(frame, sizeof frame), 1);
    EXPECT_EQ(ReadFromMaster(pty.master, 23).size(), 23u);
}

TEST_F(PortFaults, IdleOpenPortUsesNoProcessorTime)
{
    PseudoTerminal pty = NewPty(3);
    RecordingPort port;
    ASSERT_EQ(port.Open(3, 115200, 0), 1);
    const auto before = ProcessCpuTime();
    EXPECT_FALSE(port.WaitForBytes(1, std::chrono::milliseconds(300)));
    EXPECT_LT(ProcessCpuTime() - before, std::chrono::milliseconds(100));
}

} // namespace
