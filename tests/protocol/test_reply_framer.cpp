// The reply framer and the module link's notifications, fed byte by byte.

#include "KestrinSerial.h"
#include "LinkTestSupport.h"
#include "ReplyFramer.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::uint32_t ReplyId = RegisterMessage(ReplyMessageName);

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Of(const Frame& f)
{
    return Bytes(f.begin(), f.end());
}

Bytes Repeat(std::uint8_t byte, std::size_t count)
{
    return Bytes(count, byte);
}

Bytes Prefix(const Frame& f, std::size_t count)
{
    return Bytes(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(count));
}

ModuleParams With(void (*change)(ModuleParams&))
{
    ModuleParams p = WindowDefaults();
    change(p);
    return p;
}

const Bytes GoodWrite = Hex("AF AF 00 00 AF 80 01 0C 04 00 6C 80 12 0B 00 07 00 00 00 07 B5 0D 0A");
const Bytes GoodRead = Hex("AF AF 00 00 AF 80 02 0C 04 00 6C 80 12 0B 00 07 00 00 00 07 B6 0D 0A");
const Bytes WrongSum = Hex("AF AF 00 00 AF 80 01 0C 04 00 6C 80 12 0B 00 07 00 00 00 07 B4 0D 0A");

const ModuleParams NodeCrLf = With([](ModuleParams& p) { p.CustID_H = 0x0D; p.CustID_L = 0x0A; });
const ModuleParams NodeMarkers = With([](ModuleParams& p) { p.CustID_H = 0xAF; p.CustID_L = 0xAF; });
// 702.74 MHz encodes to AF AF 79, 52.16 MHz to 0D 0A 3F.
const ModuleParams FreqMarkers = With([](ModuleParams& p) { p.RfFrequency = 702.74; });
const ModuleParams FreqCrLf = With([](ModuleParams& p) { p.RfFrequency = 52.16; });
const ModuleParams Other = With([](ModuleParams& p) {
    p.McuBaudRate = 8; p.McuParity = 2; p.RfFrequency = 433.00; p.RfFactor = 12;
    p.RfMode = 1; p.RfBw = 9; p.CustID_H = 0x12; p.CustID_L = 0x34; p.NetID = 0x56; p.Power = 5;
});

struct Expected {
    std::uintptr_t wparam;
    ModuleParams params;  // the copy the notification carries
};

struct StreamCase {
    const char* name;
    Bytes stream;
    std::vector<Expected> notifications;
    ModuleParams replyParams;  // ReplyParams once the stream has been fed
};

const ModuleParams Zero{};

std::vector<StreamCase> StreamCases()
{
    const Frame other = ReplyFor(Other);
    Frame badLength = ReplyFor(Other);
    badLength[7] = 0x0B;
    badLength[20] = FrameChecksum(badLength.data());
    Frame noTerminator = ReplyFor(Other);
    noTerminator[22] = 0x0D;
    Frame otherHeader = ReplyFor(Other);
    otherHeader[2] = 0x55;
    otherHeader[3] = 0xAF;
    otherHeader[5] = 0x00;
    otherHeader[6] = 0x7E;
    otherHeader[20] = FrameChecksum(otherHeader.data());

    return {
        {"good reply to a write (command 01)", GoodWrite, {{0, WindowDefaults()}}, WindowDefaults()},
        {"good reply to a read (command 02)", GoodRead, {{0, WindowDefaults()}}, WindowDefaults()},
        {"wrong byte 20 before any good reply", WrongSum, {{1, Zero}}, Zero},
        {"wrong byte 20 keeps the last good reply", Of(other) + WrongSum, {{0, Other}, {1, Other}}, Other},
        {"noise 01 02 AF 03 before a reply", Hex("01 02 AF 03") + GoodWrite, {{0, WindowDefaults()}}, WindowDefaults()},
        {"lone 0xAF before a reply", Repeat(0xAF, 1) + GoodWrite, {{0, WindowDefaults()}}, WindowDefaults()},
        {"two 0xAF before a reply", Repeat(0xAF, 2) + GoodWrite, {{0, WindowDefaults()}}, WindowDefaults()},
        {"three 0xAF before a reply", Repeat(0xAF, 3) + GoodWrite, {{0, WindowDefaults()}}, WindowDefaults()},
        {"four 0xAF before a reply", Repeat(0xAF, 4) + GoodWrite, {{0, WindowDefaults()}}, WindowDefaults()},
        {"node ID 0D 0A", Of(ReplyFor(NodeCrLf)), {{0, NodeCrLf}}, NodeCrLf},
        {"node ID 0D 0A after a good reply", GoodWrite + Of(ReplyFor(NodeCrLf)),
         {{0, WindowDefaults()}, {0, NodeCrLf}}, NodeCrLf},
        {"node ID AF AF", Of(ReplyFor(NodeMarkers)), {{0, NodeMarkers}}, NodeMarkers},
        {"frequency code AF AF 79 (702.74 MHz)", Of(ReplyFor(FreqMarkers, CommandRead)), {{0, FreqMarkers}}, FreqMarkers},
        {"frequency code 0D 0A 3F (52.16 MHz)", Of(ReplyFor(FreqCrLf)), {{0, FreqCrLf}}, FreqCrLf},
        {"reply cut off after 3 bytes, then a whole one", Prefix(other, 3) + GoodWrite,
         {{0, WindowDefaults()}}, WindowDefaults()},
        {"reply cut off after 10 bytes, then a whole one", Prefix(other, 10) + GoodWrite,
         {{0, WindowDefaults()}}, WindowDefaults()},
        {"reply cut off before its LF, then a whole one", Prefix(other, 22) + GoodWrite,
         {{0, WindowDefaults()}}, WindowDefaults()},
        {"two replies back to back", GoodWrite + Of(other), {{0, WindowDefaults()}, {0, Other}}, Other},
        {"AF AF 0D 0A is no frame", Hex("AF AF 0D 0A"), {}, Zero},
        {"AF AF, six bytes and 0D 0A is no frame", Hex("AF AF 01 02 03 04 05 06 0D 0A"), {}, Zero},
        {"data length other than 0C, then a reply", Of(badLength) + GoodWrite, {{0, WindowDefaults()}}, WindowDefaults()},
        {"23 bytes not ending in CR LF, then a reply", Of(noTerminator) + GoodWrite,
         {{0, WindowDefaults()}}, WindowDefaults()},
        {"header bytes 2 to 6 are not examined", Of(otherHeader), {{0, Other}}, Other},
    };
}

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
                         [](const ::testing::TestParamInfo<StreamCase>& row) {
                             std::string name;
                             for (const char* p = row.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

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
