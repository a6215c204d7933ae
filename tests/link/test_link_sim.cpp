// The module link against kestrin-sim, the virtual module, and the
// simulator's own behaviour: its port link, its banner and its faults.

#include "LinkFixture.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

const std::uint32_t ReplyId = RegisterMessage(ReplyMessageName);

ModuleParams Other()
{
    ModuleParams p;
    p.McuBaudRate = 8;
    p.McuParity = 2;
    p.RfFrequency = 433.00;
    p.RfFactor = 12;
    p.RfMode = 1;
    p.RfBw = 9;
    p.CustID_H = 0x0D;  // CR LF and a start pair inside the data
    p.CustID_L = 0x0A;
    p.NetID = 0xAF;
    p.Power = 5;
    return p;
}

std::string LinkPath(std::uint32_t port)
{
    return PrivatePorts::Folder() + "/COM" + std::to_string(port);
}

std::string LinkTarget(std::uint32_t port)
{
    char buf[4096];
    const ssize_t n = ::readlink(LinkPath(port).c_str(), buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

class AgainstSim : public ::testing::Test
{
protected:
    void Connect(std::uint32_t port)
    {
        Module.SetNotifyTarget(&Target, ReplyId);
        ASSERT_EQ(Module.Open(port, 9600, 0), 1) << DescribeFailure(Module.LastFailure());
    }

    // One exchange: the notification it brought, or none by the deadline.
    bool Exchange(bool read, Notification& got, const ModuleParams& toWrite = {},
                  std::chrono::milliseconds deadline = std::chrono::seconds(5))
    {
        const std::size_t before = Target.Taken().size();
        if (read)
            EXPECT_EQ(Module.SendReadCommand(), 1);
        else
            EXPECT_EQ(Module.SendWriteCommand(&toWrite), 1);
        if (!Target.WaitFor(before + 1, deadline))
            return false;
        got = Target.Taken()[before];
        return true;
    }

    QueueTarget Target;
    KestrinSerial Module;
};

TEST_F(AgainstSim, ReadWriteAndReadBack)
{
    SimProcess sim(3);
    ASSERT_EQ(sim.Banner().rfind("COM3 /dev/pts/", 0), 0u) << sim.Banner();
    Connect(3);

    Notification n;
    ASSERT_TRUE(Exchange(true, n));
    EXPECT_EQ(n.wparam, 0u);
    EXPECT_EQ(n.params, WindowDefaults());

    ASSERT_TRUE(Exchange(false, n, Other()));
    EXPECT_EQ(n.wparam, 0u);
    EXPECT_EQ(n.params, Other());

    ASSERT_TRUE(Exchange(true, n));
    EXPECT_EQ(n.wparam, 0u);
    EXPECT_EQ(n.params, Other());
    Module.Close();
    EXPECT_EQ(Module.ReplyParams, Other());
}

TEST_F(AgainstSim, AnswersAfterThePortIsClosedAndOpenedAgain)
{
    SimProcess sim(4);
    Module.SetNotifyTarget(&Target, ReplyId);
    for (int round = 0; round < 5; ++round) {
        ASSERT_EQ(Module.Open(4, 9600, 0), 1) << "round " << round;
        Notification n;
        ASSERT_TRUE(Exchange(true, n)) << "round " << round;
        EXPECT_EQ(n.wparam, 0u);
        Module.Close();
    }
}

struct FaultCase {
    const char* name;
    std::vector<std::string> options;
    bool answers;
    std::uintptr_t wparam;
};

void PrintTo(const FaultCase& row, std::ostream* os)
{
    *os << row.name;
}

class SimFaults : public AgainstSim, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SimFaults, ReplyIsAsTheFaultMakesIt)
{
    const FaultCase& c = GetParam();
    SimProcess sim(6, c.options);
    ASSERT_FALSE(sim.Banner().empty());
    Connect(6);
    for (int i = 0; i < 5; ++i) {
        Notification n;
        const bool came = Exchange(i % 2 == 0, n, WindowDefaults(),
                                   c.answers ? std::chrono::seconds(5) : std::chrono::milliseconds(300));
        ASSERT_EQ(came, c.answers) << "exchange " << i;
        if (!came)
            return;  // a silent module stays silent; once is enough
        EXPECT_EQ(n.wparam, c.wparam) << "exchange " << i;
        EXPECT_EQ(n.params, c.wparam == 0 ? WindowDefaults() : ModuleParams{}) << "exchange " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Options, SimFaults, ::testing::Values(
    FaultCase{"silent", {"--silent"}, false, 0},
    FaultCase{"bad_checksum", {"--bad-checksum"}, true, 1},
    FaultCase{"noise_before_answers", {"--noise", "--seed", "11"}, true, 0},
    FaultCase{"answers_in_pieces", {"--split", "--seed", "12"}, true, 0},
    FaultCase{"delayed_answers", {"--delay", "20"}, true, 0},
    FaultCase{"paced_at_9600_baud", {"--line-rate", "9600"}, true, 0},
    FaultCase{"all_at_once", {"--noise", "--split", "--delay", "5", "--line-rate", "115200", "--seed", "13"}, true, 0}),
    [](const ::testing::TestParamInfo<FaultCase>& row) { return std::string(row.param.name); });

TEST(Sim, PublishesItsLinkAndRemovesItOnSigterm)
{
    SimProcess sim(9);
    const std::string banner = sim.Banner();
    ASSERT_EQ(banner.rfind("COM9 ", 0), 0u) << banner;
    EXPECT_EQ(LinkTarget(9), banner.substr(5));
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
    EXPECT_TRUE(LinkTarget(9).empty());
}

TEST(Sim, RemovesItsLinkOnSigint)
{
    SimProcess sim(10);
    ASSERT_FALSE(LinkTarget(10).empty());
    EXPECT_EQ(sim.Stop(SIGINT), 0);
    EXPECT_TRUE(LinkTarget(10).empty());
}

TEST(Sim, WithoutAPortTakesTheLowestFreeNumber)
{
    // The fixed table is off and the folder is private, so only links
    // name devices.
    PseudoTerminal pty;
    ASSERT_TRUE(pty.Open());
    const PortLink taken(1, pty.slavePath);
    const PortLink stale(2, "/nonexistent/device");
    SimProcess first(std::vector<std::string>{});
    EXPECT_EQ(first.Banner().rfind("COM2 ", 0), 0u) << first.Banner();
    SimProcess second(std::vector<std::string>{});
    EXPECT_EQ(second.Banner().rfind("COM3 ", 0), 0u) << second.Banner();
}

TEST(Sim, RefusesAPortThatIsTaken)
{
    PseudoTerminal pty;
    ASSERT_TRUE(pty.Open());
    const PortLink taken(12, pty.slavePath);
    SimProcess sim(12);
    EXPECT_TRUE(sim.Banner().empty());
    EXPECT_EQ(LinkTarget(12), pty.slavePath);
}

TEST(Sim, WithADeviceEndsAndRemovesItsLinkWhenTheDeviceGoesAway)
{
    PseudoTerminal line;  // the simulator speaks on its slave end
    PseudoTerminal peer;  // stands for the end the tool would open
    ASSERT_TRUE(line.Open());
    ASSERT_TRUE(peer.Open());
    SimProcess sim(14, {"--device", line.slavePath, "--peer", peer.slavePath});
    ASSERT_EQ(sim.Banner(), "COM14 " + peer.slavePath);
    EXPECT_EQ(LinkTarget(14), peer.slavePath);
    line.Close();
    EXPECT_EQ(sim.WaitExit(std::chrono::seconds(5)), 0);
    EXPECT_TRUE(LinkTarget(14).empty());
}

TEST(Sim, RejectsBadOptions)
{
    for (const char* args : {"--port 0", "--port 256", "--delay x", "--device /dev/null", "--frobnicate"}) {
        const std::string cmd = std::string(KESTRIN_SIM_PATH) + " " + args + " 2>/dev/null";
        FILE* p = ::popen(cmd.c_str(), "r");
        ASSERT_NE(p, nullptr);
        char buf[256];
        const bool printed = std::fgets(buf, sizeof buf, p) != nullptr;
        const int status = ::pclose(p);
        EXPECT_FALSE(printed) << args;
        EXPECT_EQ(WEXITSTATUS(status), 2) << args;
    }
}

TEST(Sim, HelpListsEveryOption)
{
    const std::string cmd = std::string(KESTRIN_SIM_PATH) + " --help";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string text;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p))
        text += buf;
    EXPECT_EQ(::pclose(p), 0);
    for (const char* option : {"--port", "--device", "--silent", "--bad-checksum", "--delay", "--noise", "--split",
                               "--line-rate", "--verbose", "--help"})
        EXPECT_NE(text.find(option), std::string::npos) << option;
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new PrivatePorts);
    return RUN_ALL_TESTS();
}
