// The module link under faults, without the window: an adapter pulled out
// at the worst moments, a hundred replies at once, and thousands of opens
// and exchanges against the virtual module that must leave no descriptor,
// thread or memory behind.

#include "LinkFixture.h"
#include "ProcessFigures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <ostream>
#include <thread>

namespace {

const std::uint32_t ReplyId = RegisterMessage(ReplyMessageName);
const std::uint32_t LostId = RegisterMessage(LostMessageName);

// Long enough that a reader spinning on a dead device would show in the
// processor time; it is spent waiting on a condition that never holds.
constexpr auto IdleSpan = std::chrono::seconds(2);
// Far below the span: a blocked reader and an idle test use next to none.
constexpr auto IdleCpuLimit = std::chrono::milliseconds(300);

// A module link that also says when a write request goes out, so a test
// can pull the adapter while a Write is under way.
class WatchedLink : public KestrinSerial
{
public:
    ~WatchedLink() { Close(); }
    void OnWriteRequest(std::uint32_t) override { ++Requests; }
    std::atomic<int> Requests{0};
};

std::size_t CountOf(const std::vector<Notification>& taken, std::uint32_t message)
{
    std::size_t n = 0;
    for (const Notification& note : taken)
        n += note.message == message ? 1 : 0;
    return n;
}

ModuleParams Numbered(int i)
{
    ModuleParams p = WindowDefaults();
    p.NetID = static_cast<std::uint8_t>(i);
    p.CustID_L = static_cast<std::uint8_t>(255 - i);
    return p;
}

// ------------------------------------------------ adapter pulled out

struct PullRow {
    const char* name;
    // Closes the far end of `pty` at the moment the row is about.
    std::function<void(PseudoTerminal& pty, WatchedLink& link, QueueTarget& target)> pull;
};

// ctest lists a row by its case.
void PrintTo(const PullRow& row, std::ostream* os)
{
    *os << row.name;
}

class FarEndClosed : public ::testing::TestWithParam<PullRow>
{
};

TEST_P(FarEndClosed, ReaderEndsOnceIdlesAndTheNextFarEndWorks)
{
    constexpr std::uint32_t Port = 7;
    auto pty = std::make_unique<PseudoTerminal>();
    ASSERT_TRUE(pty->Open());
    auto link = std::make_unique<PortLink>(Port, pty->slavePath);
    QueueTarget target;
    WatchedLink module;
    module.SetNotifyTarget(&target, ReplyId);
    ASSERT_EQ(module.Open(Port, 115200, 0), 1) << DescribeFailure(module.LastFailure());

    GetParam().pull(*pty, module, target);

    ASSERT_TRUE(target.WaitFor(1));
    const auto lostSeen = [&] { return CountOf(target.Taken(), LostId) >= 1; };
    for (std::size_t n = 1; !lostSeen() && target.WaitFor(n + 1); ++n) {
    }
    ASSERT_TRUE(lostSeen());
    EXPECT_EQ(module.LastFailure().error, SerialError::Lost);

    // Nothing more may come: the reader has ended. Waiting for it costs the
    // process next to no processor time.
    const std::size_t settled = target.Taken().size();
    const auto before = figures::ProcessCpuTime();
    EXPECT_FALSE(target.WaitFor(settled + 1, IdleSpan));
    const auto used = figures::ProcessCpuTime() - before;
    EXPECT_LT(used, IdleCpuLimit) << used.count() << " us of processor time while idle";
    const std::vector<Notification> taken = target.Taken();
    EXPECT_EQ(CountOf(taken, LostId), 1u);
    EXPECT_EQ(taken.back().message, LostId) << "nothing is delivered after the loss";

    // A new adapter under the same number.
    EXPECT_EQ(module.Close(), 1);
    link.reset();
    pty = std::make_unique<PseudoTerminal>();
    ASSERT_TRUE(pty->Open());
    link = std::make_unique<PortLink>(Port, pty->slavePath);
    ASSERT_EQ(module.Open(Port, 115200, 0), 1) << DescribeFailure(module.LastFailure());
    target.Clear();
    ASSERT_EQ(module.SendReadCommand(), 1);
    EXPECT_EQ(ReadFor(pty->master, FrameSize, std::chrono::seconds(5)).size(), FrameSize);
    const Frame reply = ReplyFor(Numbered(42), CommandRead);
    ASSERT_TRUE(WriteAll(pty->master, reply.data(), reply.size()));
    ASSERT_TRUE(target.WaitFor(1));
    EXPECT_EQ(target.Taken()[0].message, ReplyId);
    EXPECT_EQ(target.Taken()[0].params, Numbered(42));
}

const PullRow kPullRows[] = {
    {"while idle", [](PseudoTerminal& pty, WatchedLink&, QueueTarget&) { pty.CloseMaster(); }},
    {"during a Write",
     [](PseudoTerminal& pty, WatchedLink& link, QueueTarget&) {
         // Far more than the pty holds while no one reads: the Write is
         // under way, most likely waiting for room, when the far end goes.
         const std::vector<std::uint8_t> block(256 * 1024, 0x55);
         std::int32_t result = -1;
         std::thread writer([&] { result = link.Write(block.data(), static_cast<std::uint32_t>(block.size())); });
         const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
         while (link.Requests.load() == 0 && std::chrono::steady_clock::now() < deadline)
             std::this_thread::yield();
         pty.CloseMaster();
         writer.join();
         EXPECT_EQ(result, 0);
     }},
    {"during a burst of replies",
     [](PseudoTerminal& pty, WatchedLink&, QueueTarget& target) {
         std::vector<std::uint8_t> burst;
         for (int i = 0; i < 200; ++i) {
             const Frame f = ReplyFor(Numbered(i), CommandRead);
             burst.insert(burst.end(), f.begin(), f.end());
         }
         ASSERT_TRUE(WriteAll(pty.master, burst.data(), burst.size() / 2));
         // The reader is delivering when the rest goes in and the far end
         // closes behind it.
         ASSERT_TRUE(target.WaitFor(1));
         ASSERT_TRUE(WriteAll(pty.master, burst.data() + burst.size() / 2, burst.size() / 2));
         pty.CloseMaster();
     }},
};

INSTANTIATE_TEST_SUITE_P(Moments, FarEndClosed, ::testing::ValuesIn(kPullRows),
                         [](const ::testing::TestParamInfo<PullRow>& row) {
                             std::string name = row.param.name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

// ------------------------------------------------ a hundred at once

TEST(Burst, AHundredRepliesInOneWriteArriveInOrder)
{
    constexpr std::uint32_t Port = 8;
    PseudoTerminal pty;
    ASSERT_TRUE(pty.Open());
    PortLink link(Port, pty.slavePath);
    QueueTarget target;
    KestrinSerial module;
    module.SetNotifyTarget(&target, ReplyId);
    ASSERT_EQ(module.Open(Port, 115200, 0), 1);

    std::vector<std::uint8_t> burst;
    for (int i = 0; i < 100; ++i) {
        const Frame f = ReplyFor(Numbered(i), CommandRead);
        burst.insert(burst.end(), f.begin(), f.end());
    }
    ASSERT_EQ(::write(pty.master, burst.data(), burst.size()), static_cast<ssize_t>(burst.size()));
    ASSERT_TRUE(target.WaitFor(100));
    const std::vector<Notification> taken = target.Taken();
    ASSERT_EQ(taken.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(taken[i].message, ReplyId) << "reply " << i;
        EXPECT_EQ(taken[i].wparam, 0u) << "reply " << i;
        EXPECT_EQ(taken[i].params, Numbered(i)) << "reply " << i;
    }
    // The link's own copy is read only once its reader has ended.
    EXPECT_EQ(module.Close(), 1);
    EXPECT_EQ(module.ReplyParams, Numbered(99));
}

// ------------------------------------------------ nothing left behind

struct Figures {
    std::size_t descriptors = figures::OpenDescriptorCount();
    std::size_t threads = figures::ThreadCount();
    std::size_t resident = figures::ResidentBytes();
};

// Resident memory may move by a few pages (the allocator's own caches);
// a leak of one reader or one buffer per cycle would be far more.
constexpr std::size_t ResidentMargin = 4u << 20;

void Report(const char* what, const Figures& before, Figures after)
{
    after.threads = figures::SettledThreadCount(before.threads);
    std::printf("[ figures  ] %s: descriptors %zu -> %zu, threads %zu -> %zu, resident %zu KiB -> %zu KiB\n", what,
                before.descriptors, after.descriptors, before.threads, after.threads, before.resident >> 10,
                after.resident >> 10);
    std::fflush(stdout);
    ::testing::Test::RecordProperty("descriptors_before", static_cast<int>(before.descriptors));
    ::testing::Test::RecordProperty("descriptors_after", static_cast<int>(after.descriptors));
    ::testing::Test::RecordProperty("threads_before", static_cast<int>(before.threads));
    ::testing::Test::RecordProperty("threads_after", static_cast<int>(after.threads));
    ::testing::Test::RecordProperty("resident_kib_before", static_cast<int>(before.resident >> 10));
    ::testing::Test::RecordProperty("resident_kib_after", static_cast<int>(after.resident >> 10));
    EXPECT_EQ(after.descriptors, before.descriptors);
    EXPECT_EQ(after.threads, before.threads);
    EXPECT_LE(after.resident, before.resident + ResidentMargin);
}

TEST(AgainstSimLoop, AThousandOpensAndAThousandReadsLeaveNothingBehind)
{
    constexpr std::uint32_t Port = 9;
    SimProcess sim(Port);
    ASSERT_EQ(sim.Banner().rfind("COM9 ", 0), 0u) << sim.Banner();
    QueueTarget target;
    KestrinSerial module;
    module.SetNotifyTarget(&target, ReplyId);

    const auto exchange = [&] {
        if (module.SendReadCommand() != 1 || !target.WaitFor(1))
            return false;
        // Cleared, not copied: the queue keeps its room and the loop
        // allocates nothing of its own.
        target.Clear();
        return true;
    };
    // One round of each first, so what is set up once is counted as there.
    ASSERT_EQ(module.Open(Port, 9600, 0), 1) << DescribeFailure(module.LastFailure());
    ASSERT_TRUE(exchange());
    ASSERT_EQ(module.Close(), 1);

    const Figures beforeCycles;
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(module.Open(Port, i % 2 ? 9600 : 115200, 0), 1) << "cycle " << i;
        ASSERT_EQ(module.Close(), 1) << "cycle " << i;
    }
    Report("1000 open/close cycles", beforeCycles, Figures{});

    ASSERT_EQ(module.Open(Port, 9600, 0), 1);
    ASSERT_TRUE(exchange());
    const Figures beforeReads;
    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(exchange()) << "exchange " << i;
    Report("1000 read exchanges", beforeReads, Figures{});
    ASSERT_EQ(module.Close(), 1);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new PrivatePorts);
    return RUN_ALL_TESTS();
}
