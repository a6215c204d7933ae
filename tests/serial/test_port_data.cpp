// Bytes both ways, the reader's passes, write requests and the life of
// descriptors and threads, on pseudo-terminals.
#include "ProcessFigures.h"
#include "SerialTestSupport.h"

#include <ostream>

#include <numeric>

using namespace serialtest;

namespace {

using PortData = PortFolderFixture;

std::vector<std::uint8_t> Pattern(std::size_t n)
{
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 7 + i / 256) & 0xFF);
    return bytes;
}

// Bytes a cooked line or XON/XOFF would eat or change.
const std::vector<std::uint8_t> kAwkward = {0x00, 0xFF, 0x11, 0x13, 0x0D, 0x0A, 0x0D, 0x03, 0x1A, 0x7F, 0xAF, 0xAF};

TEST_F(PortData, AwkwardBytesPassUnchangedBothWays)
{
    PseudoTerminal pty = NewPty(3);
    RecordingPort port;
    ASSERT_EQ(port.Open(3, 115200, 0), 1);
    WriteToMaster(pty.master, kAwkward);
    ASSERT_TRUE(port.WaitForBytes(kAwkward.size()));
    EXPECT_EQ(port.Received(), kAwkward);
    EXPECT_EQ(port.Write(kAwkward.data(), static_cast<std::uint32_t>(kAwkward.size())), 1);
    EXPECT_EQ(ReadFromMaster(pty.master, kAwkward.size()), kAwkward);
}

TEST_F(PortData, EveryByteValueArrivesInOrder)
{
    PseudoTerminal pty = NewPty(3);
    RecordingPort port;
    ASSERT_EQ(port.Open(3, 115200, 0), 1);
    std::vector<std::uint8_t> all(256 * 8);
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<std::uint8_t>(i);
    WriteToMaster(pty.master, all);
    ASSERT_TRUE(port.WaitForBytes(all.size()));
    EXPECT_EQ(port.Received(), all);
}

// 3000 bytes waiting at the start of a pass: that pass takes 1024 of them,
// a stop asked for during it is seen right after it, and a new reader
// delivers the rest in order.
TEST_F(PortData, APassTakesAtMost1024AndAStopEndsItsReaderAfterIt)
{
    PseudoTerminal pty = NewPty(3);
    RecordingPort port;
    Gate gate;
    port.onByte = [&](std::size_t n) {
        if (n == 1) {
            gate.Arrive();
            gate.WaitOpen();
        } else if (n == 2) {
            port.RequestStop();
        }
    };
    ASSERT_EQ(port.Open(3, 115200, 0), 1);
    WriteToMaster(pty.master, {0xA5});
    ASSERT_TRUE(gate.WaitArrived());
    const std::vector<std::uint8_t> burst = Pattern(3000);
    WriteToMaster(pty.master, burst);
    ASSERT_TRUE(SpinUntil([&] { return pty.SlaveBytesWaiting() == burst.size(); }));
    gate.Open();
    ASSERT_TRUE(port.WaitForBytes(1 + 1024));
    port.StopReader();  // the reader has ended or is about to: this joins it
    EXPECT_EQ(port.Received().size(), 1u + 1024u);
    EXPECT_EQ(pty.SlaveBytesWaiting(), burst.size() - 1024);

    port.onByte = nullptr;
    ASSERT_EQ(port.StartReader(), 1);
    ASSERT_TRUE(port.WaitForBytes(1 + burst.size()));
    std::vector<std::uint8_t> expected{0xA5};
    expected.insert(expected.end(), burst.begin(), burst.end());
    EXPECT_EQ(port.Received(), expected);
}

struct RequestRow {
    const char* name;
    std::uint32_t count;
    std::vector<std::uint32_t> requests;
};

void PrintTo(const RequestRow& row, std::ostream* os) { *os << row.name; }

class WriteRequests : public PortFolderFixture, public ::testing::WithParamInterface<RequestRow> {};

TEST_P(WriteRequests, SplitTheBlock)
{
    PseudoTerminal pty = NewPty(3);
    RecordingPort port;
    ASSERT_EQ(port.Open(3, 115200, 0), 1);
    const std::vector<std::uint8_t> block = Pattern(GetParam().count);
    EXPECT_EQ(port.Write(block.data(), GetParam().count), 1);
    EXPECT_EQ(port.requests, GetParam().requests);
    EXPECT_EQ(ReadFromMaster(pty.master, block.size()), block);
}

const RequestRow kRequestRows[] = {
    {"nothing_is_one_empty_request", 0, {0}},
    {"one_frame", 23, {23}},
    {"exactly_one_chunk", 1024, {1024}},
    {"one_byte_over_a_chunk", 1025, {1024, 1}},
    {"2500_bytes", 2500, {1024, 1024, 452}},
};

INSTANTIATE_TEST_SUITE_P(Sizes, WriteRequests, ::testing::ValuesIn(kRequestRows),
                         RowName{});

TEST_F(PortData, WriteOnAClosedPortSendsNothing)
{
    RecordingPort port;
    const std::uint8_t byte = 0x01;
    EXPECT_EQ(port.Write(&byte, 1), 0);
    EXPECT_EQ(port.Write(nullptr, 0), 0);
    EXPECT_TRUE(port.requests.empty());
    EXPECT_EQ(port.LastFailure().error, SerialError::NotOpen);
}

TEST_F(PortData, WritersOnSeveralThreadsDoNotInterleaveTheirBlocks)
{
    PseudoTerminal pty = NewPty(3);
    RecordingPort port;
    ASSERT_EQ(port.Open(3, 115200, 0), 1);
    const std::vector<std::uint8_t> a(3000, 0xAA), b(3000, 0xBB);
    std::thread other([&] { EXPECT_EQ(port.Write(b.data(), 3000), 1); });
    std::vector<std::uint8_t> got;
    std::thread drain([&] { got = ReadFromMaster(pty.master, 6000); });
    EXPECT_EQ(port.Write(a.data(), 3000), 1);
    other.join();
    drain.join();
    ASSERT_EQ(got.size(), 6000u);
    // Two runs, one per block.
    std::size_t changes = 0;
    for (std::size_t i = 1; i < got.size(); ++i)
        changes += got[i] != got[i - 1];
    EXPECT_EQ(changes, 1u);
}

TEST_F(PortData, ClosingDuringABurstEndsDeliveryAndFreesEverything)
{
    PseudoTerminal pty = NewPty(3);
    const std::size_t fds = OpenDescriptorCount();
    const std::size_t threads = ThreadCount();
    RecordingPort port;
    std::atomic<bool> closed{false};
    std::atomic<int> afterClose{0};
    port.onByte = [&](std::size_t) {
        if (closed.load())
            ++afterClose;
    };
    ASSERT_EQ(port.Open(3, 115200, 0), 1);
    std::atomic<bool> feeding{true};
    std::thread feeder([&] {
        const std::vector<std::uint8_t> chunk = Pattern(512);
        while (feeding.load())
            if (::write(pty.master, chunk.data(), chunk.size()) < 0)
                std::this_thread::yield();
    });
    ASSERT_TRUE(port.WaitForBytes(4096));
    port.Close();
    closed.store(true);
    const std::size_t deliveredAtClose = port.Received().size();
    EXPECT_EQ(port.IsOpen(), 0);
    // The feeder goes on; nothing more may reach the hook.
    ASSERT_TRUE(SpinUntil([&] { return pty.SlaveBytesWaiting() > 0; }));
    feeding.store(false);
    feeder.join();
    EXPECT_EQ(afterClose.load(), 0);
    EXPECT_EQ(port.Received().size(), deliveredAtClose);
    EXPECT_EQ(OpenDescriptorCount(), fds);
    EXPECT_EQ(figures::SettledThreadCount(threads), threads);
    EXPECT_EQ(IsPortPresent(3), 1);
}

TEST_F(PortData, AThousandOpenCloseCyclesLeakNothing)
{
    PseudoTerminal pty = NewPty(3);
    RecordingPort port;
    // One cycle first, so anything the library sets up once is counted.
    ASSERT_EQ(port.Open(3, 9600, 0), 1);
    port.Close();
    const std::size_t fds = OpenDescriptorCount();
    const std::size_t threads = ThreadCount();
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(port.Open(3, i % 2 ? 9600 : 115200, 0), 1) << "cycle " << i;
        ASSERT_EQ(port.Close(), 1);
    }
    EXPECT_EQ(OpenDescriptorCount(), fds);
    EXPECT_EQ(figures::SettledThreadCount(threads), threads);
    ASSERT_EQ(port.Open(3, 9600, 0), 1);
    WriteToMaster(pty.master, {0x42});
    EXPECT_TRUE(port.WaitForBytes(1));
}

} // namespace
