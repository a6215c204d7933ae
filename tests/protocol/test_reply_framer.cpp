// The reply framer and the module link's notifications, fed byte by byte.

#include "KestrinSerial.h"
#include "LinkTestSupport.h"
#include "ReplyFramer.h"
#include "StreamCases.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

const std::uint32_t ReplyId = RegisterMessage(ReplyMessageName);

using namespace streams;

class Streams : public ::testing::TestWithParam<StreamCase> {};

TEST_P(Streams, FedByteByByteNotifyAsExpected)
{
    const StreamCase& c = GetParam();
    QueueTarget target;
    KestrinSerial link;
    link.SetNotifyTarget(&target, ReplyId);
    for (std::uint8_t b : c.stream)
        link.OnReceiveByte(b);

    const std::vector<Notification> got = target.Taken();
    ASSERT_EQ(got.size(), c.notifications.size()) << ToHex(c.stream.data(), c.stream.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE("notification " + std::to_string(i));
        EXPECT_EQ(got[i].message, ReplyId);
        EXPECT_EQ(got[i].wparam, c.notifications[i].wparam);
        EXPECT_EQ(got[i].lparam, 0);
        EXPECT_EQ(got[i].params, c.notifications[i].params);
    }
    EXPECT_EQ(link.ReplyParams, c.replyParams);
}

TEST_P(Streams, WithoutATargetReplyParamsStillFollow)
{
    const StreamCase& c = GetParam();
    KestrinSerial link;
    for (std::uint8_t b : c.stream)
        link.OnReceiveByte(b);
    EXPECT_EQ(link.ReplyParams, c.replyParams);
}

// The framer alone, split into two framers at every offset: the second one
// starts as a copy of the first, so its state is all that carries over.
TEST_P(Streams, SplitAtEveryOffsetGivesTheSameResults)
{
    const StreamCase& c = GetParam();
    std::vector<ReplyFramer::Result> whole;
    ReplyFramer framer;
    for (std::uint8_t b : c.stream)
        whole.push_back(framer.Feed(b));

    for (std::size_t cut = 0; cut <= c.stream.size(); ++cut) {
        ReplyFramer first;
        std::vector<ReplyFramer::Result> got;
        for (std::size_t i = 0; i < cut; ++i)
            got.push_back(first.Feed(c.stream[i]));
        ReplyFramer second = first;
        for (std::size_t i = cut; i < c.stream.size(); ++i)
            got.push_back(second.Feed(c.stream[i]));
        ASSERT_EQ(got, whole) << "cut at " << cut;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Streams, ::testing::ValuesIn(StreamCases()),
                         RowName<::testing::TestParamInfo<StreamCase>>);

TEST(Framer, ReportsWhatEachByteDid)
{
    using R = ReplyFramer::Result;
    ReplyFramer framer;
    EXPECT_EQ(framer.Feed(0x01), R::Ignored);
    EXPECT_EQ(framer.Feed(0xAF), R::NeedMore);
    EXPECT_EQ(framer.CurrentState(), ReplyFramer::State::MarkerSeen);
    EXPECT_EQ(framer.Feed(0x02), R::Ignored);
    EXPECT_EQ(framer.CurrentState(), ReplyFramer::State::Idle);

    for (std::size_t i = 0; i + 1 < GoodWrite.size(); ++i)
        ASSERT_EQ(framer.Feed(GoodWrite[i]), R::NeedMore) << i;
    EXPECT_EQ(framer.CurrentState(), ReplyFramer::State::Body);
    EXPECT_EQ(framer.HeldCount(), FrameSize - 1);
    EXPECT_EQ(framer.Feed(0x0A), R::Reply);
    EXPECT_EQ(ToHex(framer.Frame(), FrameSize), ToHex(GoodWrite.data(), GoodWrite.size()));
    EXPECT_EQ(framer.CurrentState(), ReplyFramer::State::Idle);

    for (std::size_t i = 0; i + 1 < WrongSum.size(); ++i)
        framer.Feed(WrongSum[i]);
    EXPECT_EQ(framer.Feed(0x0A), R::BadChecksum);
}

TEST(Framer, ALoneMarkerBeforeAReplyIsDroppedAtTheLengthByte)
{
    using R = ReplyFramer::Result;
    ReplyFramer framer;
    const Bytes stream = Repeat(0xAF, 1) + GoodWrite;
    std::vector<R> results;
    for (std::uint8_t b : stream)
        results.push_back(framer.Feed(b));
    // The false candidate AF AF AF 00 00 AF 80 01 fails at its byte 7; the
    // real start pair is found among the held bytes.
    EXPECT_EQ(results[7], R::NotAFrame);
    EXPECT_EQ(framer.HeldCount(), 0u);
    EXPECT_EQ(results.back(), R::Reply);
}

TEST(Framer, NeverHoldsMoreThanOneFrame)
{
    std::mt19937 random(7);
    ReplyFramer framer;
    for (int i = 0; i < 200000; ++i) {
        // Mostly markers and terminators, the bytes that steer the framer.
        static const std::uint8_t steer[] = {0xAF, 0xAF, 0x0C, 0x0D, 0x0A, 0x00};
        const std::uint32_t r = random();
        const std::uint8_t b = (r & 1) ? steer[(r >> 1) % 6] : static_cast<std::uint8_t>(r >> 8);
        framer.Feed(b);
        ASSERT_LT(framer.HeldCount(), FrameSize);
    }
}

// A seeded 1 MiB random stream with good replies planted at random offsets:
// every planted reply is notified with WParam 0 and its own values, and
// nothing else is.
TEST(RandomStream, EveryPlantedReplyAndNothingElse)
{
    std::mt19937 random(20261211);
    constexpr std::size_t Size = 1u << 20;
    Bytes stream(Size);
    for (auto& b : stream)
        b = static_cast<std::uint8_t>(random());

    std::vector<ModuleParams> planted;
    std::size_t at = 0;
    while (true) {
        at += 23 + random() % 800;
        if (at + FrameSize > Size)
            break;
        Frame raw{};
        for (std::size_t i = 8; i < 20; ++i)
            raw[i] = static_cast<std::uint8_t>(random());
        ModuleParams p;
        DecodeReply(raw.data(), p);
        // Re-encoding a decoded frequency may move its code by a step; plant
        // the data bytes as drawn and expect what they decode to.
        Frame reply;
        BuildReadRequest(reply);
        reply[6] = (random() & 1) ? CommandWrite : CommandRead;
        for (std::size_t i = 8; i < 20; ++i)
            reply[i] = raw[i];
        reply[FrameChecksumOffset] = FrameChecksum(reply.data());
        std::copy(reply.begin(), reply.end(), stream.begin() + static_cast<std::ptrdiff_t>(at));
        planted.push_back(p);
        at += FrameSize;
    }
    ASSERT_GT(planted.size(), 2000u);

    QueueTarget target;
    KestrinSerial link;
    link.SetNotifyTarget(&target, ReplyId);
    for (std::uint8_t b : stream)
        link.OnReceiveByte(b);

    std::vector<ModuleParams> good;
    for (const Notification& n : target.Taken())
        if (n.wparam == 0)
            good.push_back(n.params);
    ASSERT_EQ(good.size(), planted.size());
    for (std::size_t i = 0; i < good.size(); ++i)
        ASSERT_EQ(good[i], planted[i]) << "planted reply " << i;
}

TEST(Registry, NamesHaveStableNonZeroIds)
{
    const std::uint32_t recv = RegisterMessage(ReplyMessageName);
    const std::uint32_t lost = RegisterMessage(LostMessageName);
    EXPECT_NE(recv, 0u);
    EXPECT_NE(lost, 0u);
    EXPECT_NE(recv, lost);
    EXPECT_EQ(RegisterMessage("KestrinSerial_MSG_RECV_1"), recv);
    const std::string copy = LostMessageName;
    EXPECT_EQ(RegisterMessage(copy.c_str()), lost);
    EXPECT_EQ(RegisterMessage(""), 0u);
    EXPECT_EQ(RegisterMessage(nullptr), 0u);
}

TEST(Link, SendsNothingOnAClosedPort)
{
    KestrinSerial link;
    const ModuleParams p = WindowDefaults();
    EXPECT_EQ(link.SendReadCommand(), 0);
    EXPECT_EQ(link.SendWriteCommand(&p), 0);
    EXPECT_EQ(link.SendWriteCommand(nullptr), 0);
}

TEST(Link, ReplyParamsStartZeroFilled)
{
    KestrinSerial link;
    EXPECT_EQ(link.ReplyParams, ModuleParams{});
}

} // namespace
