#include "Frames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

Frame FromHex(const std::string& hex)
{
    Frame f{};
    std::size_t n = 0;
    for (std::size_t i = 0; i + 1 < hex.size(); ++i) {
        if (hex[i] == ' ')
            continue;
        f.at(n++) = static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16));
        ++i;
    }
    EXPECT_EQ(n, FrameSize) << hex;
    return f;
}

std::uint32_t CodeOf(const Frame& f)
{
    return (std::uint32_t{f[10]} << 16) | (std::uint32_t{f[11]} << 8) | f[12];
}

TEST(Requests, ReadRequestIsTheConstantFrame)
{
    Frame f;
    f.fill(0x55);
    BuildReadRequest(f);
    EXPECT_EQ(f, FromHex("AF AF 00 00 AF 80 02 0C 00 00 00 00 00 00 00 00 00 00 00 00 9B 0D 0A"));
}

struct WriteCase {
    const char* name;
    ModuleParams params;
    const char* frame;
};

class WriteRequest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteRequest, MatchesTheExpectedBytes)
{
    Frame f;
    BuildWriteRequest(GetParam().params, f);
    EXPECT_EQ(f, FromHex(GetParam().frame));
}

ModuleParams Changed()
{
    ModuleParams p;
    p.McuBaudRate = 8;
    p.McuParity = 2;
    p.RfFrequency = 433.00;
    p.RfFactor = 12;
    p.RfMode = 1;
    p.RfBw = 9;
    p.CustID_H = 0x12;
    p.CustID_L = 0x34;
    p.NetID = 0x56;
    p.Power = 5;
    return p;
}

INSTANTIATE_TEST_SUITE_P(Vectors, WriteRequest, ::testing::Values(
    WriteCase{"WindowDefaults", WindowDefaults(),
              "AF AF 00 00 AF 80 01 0C 04 00 6C 80 12 0B 00 07 00 00 00 07 B5 0D 0A"},
    WriteCase{"EveryFieldChanged", Changed(),
              "AF AF 00 00 AF 80 01 0C 08 02 6C 40 12 0C 01 09 12 34 56 05 19 0D 0A"}),
    [](const ::testing::TestParamInfo<WriteCase>& row) { return std::string(row.param.name); });

TEST(Requests, CodeFieldsTravelUnchanged)
{
    ModuleParams p = WindowDefaults();
    p.McuBaudRate = 0xFF;
    p.McuParity = 9;
    p.RfFactor = 3;
    p.RfMode = 2;
    p.Power = 0;
    Frame f;
    BuildWriteRequest(p, f);
    EXPECT_EQ(f[8], 0xFF);
    EXPECT_EQ(f[9], 9);
    EXPECT_EQ(f[13], 3);
    EXPECT_EQ(f[14], 2);
    EXPECT_EQ(f[19], 0);
    EXPECT_EQ(f[20], FrameChecksum(f.data()));
}

TEST(Requests, FrequencyCodeKeepsOnlyItsLow24Bits)
{
    ModuleParams p = WindowDefaults();
    p.RfFrequency = 1100.0; // code 18,022,446 = 0x1130 0x12E: bit 24 set
    Frame f;
    BuildWriteRequest(p, f);
    EXPECT_EQ(CodeOf(f), static_cast<std::uint32_t>(EncodeFrequency(1100.0)) & 0xFFFFFFu);
    EXPECT_GT(EncodeFrequency(1100.0), 0xFFFFFF);
}

TEST(Checksum, WrapsAtEightBits)
{
    const Frame f = FromHex("AF AF 00 00 AF 80 01 0C 00 00 00 00 00 00 00 00 00 00 00 00 00 0D 0A");
    // AF + AF + AF + 80 + 01 + 0C = 0x29A; only the low byte remains.
    EXPECT_EQ(FrameChecksum(f.data()), 0x9A);
}

TEST(Checksum, ReadsExactlyTwentyPositions)
{
    std::uint8_t bytes[20];
    for (auto& b : bytes)
        b = 1;
    EXPECT_EQ(FrameChecksum(bytes), 20);
}

struct EncodeCase {
    double mhz;
    std::int32_t code;
};

TEST(Frequency, EncodesTheKnownValues)
{
    const EncodeCase cases[] = {
        {433.00, 7094290},             // 6C 40 12
        {434.00, 0x6C8012},
        {470.00, 0x758013},
        {868.00, 0xD90024},
        {915.00, 0xE4C026},
        {990.00, 16220201},            // F7 80 29
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeFrequency(c.mhz), c.code) << c.mhz;
}

TEST(Frequency, EncodeIsDefinedForValuesThatDoNotFit)
{
    EXPECT_EQ(EncodeFrequency(std::nan("")), 0);
    EXPECT_EQ(EncodeFrequency(1e300), INT32_MAX);
    EXPECT_EQ(EncodeFrequency(-1e300), INT32_MIN);
    EXPECT_EQ(EncodeFrequency(-0.5), -8192); // truncated toward zero
}

struct DecodeCase {
    std::uint8_t b10, b11, b12;
    double mhz;
};

TEST(Frequency, DecodesTheKnownValues)
{
    const DecodeCase cases[] = {
        {0x6C, 0x40, 0x12, 433.00},
        {0x00, 0x00, 0x00, 0.00},
        {0xFF, 0xFF, 0xFF, 1023.99},
        {0x0F, 0x90, 0x00, 62.24}, // exactly 62.25 MHz, decoded a hundredth low
        {0x00, 0x00, 0xA3, 0.00},  // 0.01 MHz encodes to 163
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeFrequency(c.b10, c.b11, c.b12), c.mhz)
            << std::hex << int(c.b10) << ' ' << int(c.b11) << ' ' << int(c.b12);
}

// Every code decodes to code/16384 MHz cut to hundredths, except 88 of the
// 4096 whole-quarter-MHz codes, which come out one hundredth low.
TEST(Frequency, EveryCodeDecodesToTheCutQuotient)
{
    int low = 0;
    int otherMismatches = 0;
    for (std::uint32_t code = 0; code <= 0xFFFFFF; ++code) {
        const double got = DecodeFrequency(static_cast<std::uint8_t>(code >> 16),
                                           static_cast<std::uint8_t>(code >> 8),
                                           static_cast<std::uint8_t>(code));
        const std::uint64_t cut = (std::uint64_t{code} * 100) / 16384; // exact, in hundredths
        const double exact = static_cast<double>(cut) / 100.0;
        if (got == exact)
            continue;
        if (code % 4096 == 0 && got == static_cast<double>(cut - 1) / 100.0)
            ++low;
        else
            ++otherMismatches;
    }
    EXPECT_EQ(low, 88);
    EXPECT_EQ(otherMismatches, 0);
}

TEST(Frequency, EncodeIsTheTruncatedExactQuotient)
{
    // mhz * 1e6 / 61.035 with mhz = k / 100 is k * 2,000,000 / 12,207 exactly.
    for (std::int64_t k = 0; k <= 100000; ++k) {
        const std::int64_t exact = k * 2000000 / 12207;
        ASSERT_EQ(EncodeFrequency(static_cast<double>(k) / 100.0), exact) << k;
    }
}

TEST(Frequency, TwoDecimalValuesSurviveARoundTripFrom22_82Up)
{
    int lower = 0;
    for (int k = 0; k <= 100000; ++k) {
        const double mhz = k / 100.0;
        ModuleParams p;
        p.RfFrequency = mhz;
        Frame f;
        BuildWriteRequest(p, f);
        ModuleParams back;
        DecodeReply(f.data(), back);
        if (k >= 2282) {
            ASSERT_EQ(back.RfFrequency, mhz) << mhz;
        } else if (back.RfFrequency != mhz) {
            ASSERT_EQ(back.RfFrequency, (k - 1) / 100.0) << mhz;
            ++lower;
        }
    }
    EXPECT_EQ(lower, 1146);
}

TEST(Reply, DecodesTheDataBytesOnly)
{
    Frame f = FromHex("AF AF 11 22 33 44 55 66 04 00 6C 80 12 0B 00 07 00 00 00 07 00 00 00");
    ModuleParams p;
    DecodeReply(f.data(), p);
    EXPECT_EQ(p, WindowDefaults());
}

TEST(Reply, CopiesOutOfTableCodesUnchanged)
{
    Frame f = FromHex("AF AF 00 00 AF 80 01 0C 09 03 00 00 00 03 02 05 AF 0D FF 00 00 0D 0A");
    ModuleParams p;
    DecodeReply(f.data(), p);
    EXPECT_EQ(p.McuBaudRate, 9);
    EXPECT_EQ(p.McuParity, 3);
    EXPECT_EQ(p.RfFrequency, 0.0);
    EXPECT_EQ(p.RfFactor, 3);
    EXPECT_EQ(p.RfMode, 2);
    EXPECT_EQ(p.RfBw, 5);
    EXPECT_EQ(p.CustID_H, 0xAF);
    EXPECT_EQ(p.CustID_L, 0x0D);
    EXPECT_EQ(p.NetID, 0xFF);
    EXPECT_EQ(p.Power, 0);
}

} // namespace
