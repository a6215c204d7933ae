// How a port number names a device: the port folder first, then the fixed
// table, and when a folder is not to be trusted.
#include "SerialTestSupport.h"

#include <ostream>

#include <fstream>

using namespace serialtest;

namespace {

struct TableRow {
    const char* name;
    std::uint32_t port;
    const char* device;
};

void PrintTo(const TableRow& row, std::ostream* os) { *os << row.name; }

const TableRow kTableRows[] = {
    {"port 0 names nothing", 0, ""},
    {"COM1 is the first 16550 port", 1, "/dev/ttyS0"},
    {"COM32 is the last 16550 port", 32, "/dev/ttyS31"},
    {"COM33 is the first USB adapter", 33, "/dev/ttyUSB0"},
    {"COM64 is the last USB adapter", 64, "/dev/ttyUSB31"},
    {"COM65 is the first CDC-ACM device", 65, "/dev/ttyACM0"},
    {"COM97 is the first AMBA port", 97, "/dev/ttyAMA0"},
    {"COM129 is the first Bluetooth port", 129, "/dev/rfcomm0"},
    {"COM160 is the last Bluetooth port", 160, "/dev/rfcomm31"},
    {"COM161 names nothing", 161, ""},
    {"COM255 names nothing", 255, ""},
    {"port 256 names nothing", 256, ""},
};

class FixedTable : public PortFolderFixture, public ::testing::WithParamInterface<TableRow> {};

TEST_P(FixedTable, NamesTheDevice)
{
    ::unsetenv("KESTRIN_DEVICE_TABLE");
    SetDeviceTableEnabled(true);
    EXPECT_EQ(PortDevicePath(GetParam().port), GetParam().device);
    EXPECT_EQ(FixedTableDevice(GetParam().port), GetParam().device);
}

INSTANTIATE_TEST_SUITE_P(Edges, FixedTable, ::testing::ValuesIn(kTableRows),
                         RowName{});

using PortNames = PortFolderFixture;

TEST_F(PortNames, TableSwitchedOffInProcessOrByEnvironment)
{
    ::unsetenv("KESTRIN_DEVICE_TABLE");
    SetDeviceTableEnabled(false);
    EXPECT_EQ(PortDevicePath(1), "");
    SetDeviceTableEnabled(true);
    EXPECT_EQ(PortDevicePath(1), "/dev/ttyS0");
    ::setenv("KESTRIN_DEVICE_TABLE", "0", 1);
    EXPECT_EQ(PortDevicePath(1), "");
    EXPECT_FALSE(DeviceTableEnabled());
    ::unsetenv("KESTRIN_DEVICE_TABLE");
}

TEST_F(PortNames, LinkTakesPrecedenceOverTheTable)
{
    SetDeviceTableEnabled(true);
    ::unsetenv("KESTRIN_DEVICE_TABLE");
    LinkPort(33, "/dev/pts/999");
    LinkPort(200, "/dev/pts/998");
    EXPECT_EQ(PortDevicePath(33), "/dev/pts/999");
    EXPECT_EQ(PortDevicePath(200), "/dev/pts/998");
    EXPECT_EQ(PortDevicePath(34), "/dev/ttyUSB1");
}

TEST_F(PortNames, RelativeLinkIsTakenFromThePortFolder)
{
    LinkPort(5, "../pty-end");
    EXPECT_EQ(PortDevicePath(5), folder + "/../pty-end");
}

TEST_F(PortNames, NumbersOutsideTheRangeIgnoreLinks)
{
    LinkPort(0, "/dev/pts/999");
    LinkPort(256, "/dev/pts/999");
    EXPECT_EQ(PortDevicePath(0), "");
    EXPECT_EQ(PortDevicePath(256), "");
}

TEST_F(PortNames, FolderFallsBackToTmpWithoutRuntimeDir)
{
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(PortFolder(), "/tmp/kestrin-" + std::to_string(::getuid()) + "/ports");
    ::setenv("XDG_RUNTIME_DIR", "", 1);
    EXPECT_EQ(PortFolder(), "/tmp/kestrin-" + std::to_string(::getuid()) + "/ports");
}

struct UntrustedRow {
    const char* name;
    std::function<void(const std::string& folder)> spoil;
};

void PrintTo(const UntrustedRow& row, std::ostream* os) { *os << row.name; }

class UntrustedFolder : public PortFolderFixture, public ::testing::WithParamInterface<UntrustedRow> {};

TEST_P(UntrustedFolder, IsIgnored)
{
    LinkPort(7, "/dev/pts/999");
    ASSERT_EQ(PortDevicePath(7), "/dev/pts/999");
    GetParam().spoil(folder);
    if (IsSkipped())
        return;
    EXPECT_EQ(PortDevicePath(7), "");
}

const UntrustedRow kUntrustedRows[] = {
    {"writable_by_others", [](const std::string& f) { ::chmod(f.c_str(), 0707); }},
    {"writable_by_the_group", [](const std::string& f) { ::chmod(f.c_str(), 0770); }},
    {"owned_by_another_user",
     [](const std::string& f) {
         if (::geteuid() != 0)
             GTEST_SKIP() << "handing a folder to another user needs root";
         ASSERT_EQ(::chown(f.c_str(), 65534, 65534), 0);
     }},
    {"a_link_to_a_folder",
     [](const std::string& f) {
         const std::string real = f + ".real";
         fs::rename(f, real);
         fs::create_directory_symlink(real, f);
     }},
};

INSTANTIATE_TEST_SUITE_P(Folders, UntrustedFolder, ::testing::ValuesIn(kUntrustedRows),
                         RowName{});

struct NotAPortRow {
    const char* name;
    SerialError why;
    std::function<std::string(const std::string& runtime)> target;
};

void PrintTo(const NotAPortRow& row, std::ostream* os) { *os << row.name; }

class NotAPort : public PortFolderFixture, public ::testing::WithParamInterface<NotAPortRow> {};

TEST_P(NotAPort, IsAbsentWithItsReason)
{
    LinkPort(9, GetParam().target(runtime));
    const PortProbe probe = ProbePort(9);
    EXPECT_FALSE(probe.present);
    EXPECT_EQ(IsPortPresent(9), 0);
    EXPECT_EQ(probe.failure.error, GetParam().why);
    EXPECT_EQ(probe.device, GetParam().target(runtime));
}

const NotAPortRow kNotAPortRows[] = {
    {"a_regular_file", SerialError::NotTerminal,
     [](const std::string& r) {
         std::ofstream(r + "/plain") << "x";
         return r + "/plain";
     }},
    {"dev_null", SerialError::NotTerminal, [](const std::string&) { return std::string("/dev/null"); }},
    {"a_dangling_link", SerialError::Missing, [](const std::string& r) { return r + "/gone"; }},
};

INSTANTIATE_TEST_SUITE_P(Targets, NotAPort, ::testing::ValuesIn(kNotAPortRows),
                         RowName{});

TEST_F(PortNames, NoDeviceIsNoSuchPort)
{
    const PortProbe probe = ProbePort(3);
    EXPECT_FALSE(probe.present);
    EXPECT_EQ(probe.failure.error, SerialError::NoSuchPort);
    EXPECT_EQ(probe.device, "");
}

TEST_F(PortNames, FailureSentencesNameTheDeviceAndTheRemedy)
{
    EXPECT_EQ(DescribeFailure({SerialError::Busy, 16, "/dev/ttyUSB0"}), "/dev/ttyUSB0: in use by another program");
    const std::string permission = DescribeFailure({SerialError::Permission, 13, "/dev/ttyUSB0"});
    EXPECT_NE(permission.find("/dev/ttyUSB0: permission denied"), std::string::npos);
    EXPECT_NE(permission.find("dialout"), std::string::npos);
    EXPECT_NE(permission.find("log in again"), std::string::npos);
}

TEST_F(PortNames, DescribeGivesThePtyWithoutUsbStrings)
{
    PseudoTerminal pty = NewPty(4);
    const PortInfo info = DescribePort(4);
    EXPECT_EQ(info.device, pty.slavePath);
    EXPECT_EQ(info.resolved, pty.slavePath);
    EXPECT_EQ(info.manufacturer, "");
    EXPECT_EQ(info.serialNumber, "");
}

} // namespace
