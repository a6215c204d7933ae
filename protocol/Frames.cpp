#include "Frames.h"

#include <cmath>
#include <limits>

namespace {

constexpr std::uint8_t HeaderFixed[] = {FrameStartByte, FrameStartByte, 0x00, 0x00, 0xAF, 0x80};

void PutHeader(Frame& out, std::uint8_t command)
{
    for (std::size_t i = 0; i < sizeof HeaderFixed; ++i)
        out[i] = HeaderFixed[i];
    out[6] = command;
    out[7] = FrameDataLength;
}

void PutTrailer(Frame& out)
{
    out[FrameChecksumOffset] = FrameChecksum(out.data());
    out[21] = 0x0D;
    out[22] = 0x0A;
}

} // namespace

void BuildReadRequest(Frame& out)
{
    out.fill(0);
    PutHeader(out, CommandRead);
    PutTrailer(out);
}

void BuildWriteRequest(const ModuleParams& params, Frame& out)
{
    out.fill(0);
    PutHeader(out, CommandWrite);
    out[8] = params.McuBaudRate;
    out[9] = params.McuParity;
    // Two's-complement bits of the code; anything above bit 23 is dropped.
    const auto code = static_cast<std::uint32_t>(EncodeFrequency(params.RfFrequency));
    out[10] = static_cast<std::uint8_t>(code >> 16);
    out[11] = static_cast<std::uint8_t>(code >> 8);
    out[12] = static_cast<std::uint8_t>(code);
    out[13] = params.RfFactor;
    out[14] = params.RfMode;
    out[15] = params.RfBw;
    out[16] = params.CustID_H;
    out[17] = params.CustID_L;
    out[18] = params.NetID;
    out[19] = params.Power;
    PutTrailer(out);
}

std::uint8_t FrameChecksum(const std::uint8_t* frame)
{
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < FrameChecksumOffset; ++i)
        sum = static_cast<std::uint8_t>(sum + frame[i]);
    return sum;
}

std::int32_t EncodeFrequency(double mhz)
{
    // Two roundings: the quotient is rounded to a double before it is
    // scaled. The library is built with -ffp-contract=off so that no
    // fused multiply-add merges the steps on targets that have one.
    const double q = mhz / 61.035;
    const double scaled = q * 1000000.0;
    if (std::isnan(scaled))
        return 0;
    constexpr double lo = static_cast<double>(std::numeric_limits<std::int32_t>::min());
    constexpr double hi = static_cast<double>(std::numeric_limits<std::int32_t>::max());
    if (scaled <= lo)
        return std::numeric_limits<std::int32_t>::min();
    if (scaled >= hi)
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(scaled); // truncates toward zero
}

double DecodeFrequency(std::uint8_t b10, std::uint8_t b11, std::uint8_t b12)
{
    const std::uint32_t code = (std::uint32_t{b10} << 16) | (std::uint32_t{b11} << 8) | b12;
    double x = static_cast<double>(code) / 1000000.0;
    x = x * 61.03515625;
    const double whole = std::trunc(x);
    const double hundredths = std::trunc((x - whole) * 100.0);
    // 100 * whole + hundredths is an exact integer, so one division gives
    // the double nearest to whole + hundredths / 100.
    return (100.0 * whole + hundredths) / 100.0;
}

void DecodeReply(const std::uint8_t* frame, ModuleParams& out)
{
    out.McuBaudRate = frame[8];
    out.McuParity = frame[9];
    out.RfFrequency = DecodeFrequency(frame[10], frame[11], frame[12]);
    out.RfFactor = frame[13];
    out.RfMode = frame[14];
    out.RfBw = frame[15];
    out.CustID_H = frame[16];
    out.CustID_L = frame[17];
    out.NetID = frame[18];
    out.Power = frame[19];
}

std::string ToHex(const std::uint8_t* bytes, std::size_t count)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        if (i)
            s += ' ';
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    return s;
}
