// The module link on a pseudo-terminal: what it puts on the line, and the
// stream table delivered through the port's real reader, whole and split
// at every offset by a close and a reopen.

#include "LinkFixture.h"
#include "StreamCases.h"

#include <gtest/gtest.h>

namespace {

using namespace streams;

const std::uint32_t ReplyId = RegisterMessage(ReplyMessageName);
constexpr std::uint32_t Port = 5;

class OnPty : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Pty.Open());
        Link = std::make_unique<PortLink>(Port, Pty.slavePath);
        Module.SetNotifyTarget(&Target, ReplyId);
    }

    void OpenPort() { ASSERT_EQ(Module.Open(Port, 9600, 0), 1) << DescribeFailure(Module.LastFailure()); }

    PseudoTerminal Pty;
    std::unique_ptr<PortLink> Link;
    QueueTarget Target;
    CountingLink Module;
};

TEST_F(OnPty, ReadCommandPutsTheReadRequestOnTheLine)
{
    OpenPort();
    EXPECT_EQ(Module.SendReadCommand(), 1);
    Frame expected;
    BuildReadRequest(expected);
    const auto got = ReadFor(Pty.master, FrameSize + 1, std::chrono::milliseconds(300));
    EXPECT_EQ(ToHex(got.data(), got.size()), ToHex(expected.data(), FrameSize));
}

TEST_F(OnPty, WriteCommandPutsTheWriteRequestOnTheLine)
{
    OpenPort();
    const ModuleParams p = WindowDefaults();
    EXPECT_EQ(Module.SendWriteCommand(&p), 1);
    const auto got = ReadFor(Pty.master, FrameSize + 1, std::chrono::milliseconds(300));
    EXPECT_EQ(ToHex(got.data(), got.size()),
              "AF AF 00 00 AF 80 01 0C 04 00 6C 80 12 0B 00 07 00 00 00 07 B5 0D 0A");
}

TEST_F(OnPty, AClosedPortSendsNothing)
{
    OpenPort();
    Module.Close();
    const ModuleParams p = WindowDefaults();
    EXPECT_EQ(Module.SendReadCommand(), 0);
    EXPECT_EQ(Module.SendWriteCommand(&p), 0);
    EXPECT_EQ(Module.SendWriteCommand(nullptr), 0);
    EXPECT_TRUE(ReadFor(Pty.master, 1, std::chrono::milliseconds(100)).empty());
}

TEST_F(OnPty, ANullParameterSetSendsNothingOnAnOpenPort)
{
    OpenPort();
    EXPECT_EQ(Module.SendWriteCommand(nullptr), 0);
    EXPECT_TRUE(ReadFor(Pty.master, 1, std::chrono::milliseconds(100)).empty());
}

TEST_F(OnPty, AnUnpluggedLineIsReportedOnce)
{
    OpenPort();
    Pty.CloseMaster();
    ASSERT_TRUE(Target.WaitFor(1));
    EXPECT_FALSE(Target.WaitFor(2, std::chrono::milliseconds(200)));
    const auto got = Target.Taken();
    EXPECT_EQ(got[0].message, RegisterMessage(LostMessageName));
    EXPECT_EQ(got[0].wparam, 0u);
}

void ExpectNotifications(const StreamCase& c, const std::vector<Notification>& got, const std::string& where)
{
    ASSERT_EQ(got.size(), c.notifications.size()) << where;
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].message, ReplyId) << where;
        EXPECT_EQ(got[i].wparam, c.notifications[i].wparam) << where << ", notification " << i;
        EXPECT_EQ(got[i].params, c.notifications[i].params) << where << ", notification " << i;
    }
}

class StreamsOnPty : public OnPty, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(StreamsOnPty, WholeInOneWrite)
{
    const StreamCase& c = GetParam();
    OpenPort();
    ASSERT_TRUE(WriteAll(Pty.master, c.stream.data(), c.stream.size()));
    ASSERT_TRUE(Module.WaitReceived(c.stream.size()));
    Module.Close();
    ExpectNotifications(c, Target.Taken(), "whole");
    EXPECT_EQ(Module.ReplyParams, c.replyParams);
}

// The framer's state belongs to the link: a piece cut off by closing the
// port is continued by what arrives after it is opened again.
TEST_P(StreamsOnPty, SplitAtEveryOffsetByACloseAndAReopen)
{
    const StreamCase& c = GetParam();
    for (std::size_t cut = 1; cut < c.stream.size(); ++cut) {
        const std::string where = "cut at " + std::to_string(cut);
        CountingLink module;
        QueueTarget target;
        module.SetNotifyTarget(&target, ReplyId);
        ASSERT_EQ(module.Open(Port, 9600, 0), 1) << where;
        ASSERT_TRUE(WriteAll(Pty.master, c.stream.data(), cut));
        ASSERT_TRUE(module.WaitReceived(cut)) << where;
        module.Close();
        ASSERT_EQ(module.Open(Port, 9600, 0), 1) << where;
        ASSERT_TRUE(WriteAll(Pty.master, c.stream.data() + cut, c.stream.size() - cut));
        ASSERT_TRUE(module.WaitReceived(c.stream.size())) << where;
        module.Close();
        ExpectNotifications(c, target.Taken(), where);
        ASSERT_EQ(module.ReplyParams, c.replyParams) << where;
        if (HasFatalFailure() || HasNonfatalFailure())
            return;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, StreamsOnPty, ::testing::ValuesIn(StreamCases()),
                         RowName<::testing::TestParamInfo<StreamCase>>);

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new PrivatePorts);
    return RUN_ALL_TESTS();
}
