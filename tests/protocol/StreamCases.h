// The table of byte streams that the framer suites feed to the link, each
// row named by its case, with the notifications and ReplyParams expected.
#pragma once

#include "LinkTestSupport.h"

#include <cctype>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace streams {

using Bytes = std::vector<std::uint8_t>;

inline Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes Of(const Frame& f)
{
    return Bytes(f.begin(), f.end());
}

inline Bytes Repeat(std::uint8_t byte, std::size_t count)
{
    return Bytes(count, byte);
}

inline Bytes Prefix(const Frame& f, std::size_t count)
{
    return Bytes(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(count));
}

inline ModuleParams With(void (*change)(ModuleParams&))
{
    ModuleParams p = WindowDefaults();
    change(p);
    return p;
}

inline const Bytes GoodWrite = Hex("AF AF 00 00 AF 80 01 0C 04 00 6C 80 12 0B 00 07 00 00 00 07 B5 0D 0A");
inline const Bytes GoodRead = Hex("AF AF 00 00 AF 80 02 0C 04 00 6C 80 12 0B 00 07 00 00 00 07 B6 0D 0A");
inline const Bytes WrongSum = Hex("AF AF 00 00 AF 80 01 0C 04 00 6C 80 12 0B 00 07 00 00 00 07 B4 0D 0A");

inline const ModuleParams NodeCrLf = With([](ModuleParams& p) { p.CustID_H = 0x0D; p.CustID_L = 0x0A; });
inline const ModuleParams NodeMarkers = With([](ModuleParams& p) { p.CustID_H = 0xAF; p.CustID_L = 0xAF; });
// 702.74 MHz encodes to AF AF 79, 52.16 MHz to 0D 0A 3F.
inline const ModuleParams FreqMarkers = With([](ModuleParams& p) { p.RfFrequency = 702.74; });
inline const ModuleParams FreqCrLf = With([](ModuleParams& p) { p.RfFrequency = 52.16; });
inline const ModuleParams Other = With([](ModuleParams& p) {
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

inline const ModuleParams Zero{};

inline std::vector<StreamCase> StreamCases()
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

inline void PrintTo(const StreamCase& row, std::ostream* os)
{
    *os << row.name;
}

// A test name made of the row's name.
template <typename Info>
std::string RowName(const Info& row)
{
    std::string name;
    for (const char* p = row.param.name; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
}

} // namespace streams
