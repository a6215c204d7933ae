// The module's 23-byte frames: the read and write requests, the checksum,
// the 24-bit frequency code and the decoding of a reply's data bytes.
//
// Layout (bytes 0..22, multi-byte values big-endian):
//   0-1   AF AF          start pair
//   2-5   00 00 AF 80    fixed, never examined in a reply
//   6     command        01 write, 02 read
//   7     0C             number of data bytes
//   8-19  data           baud, parity, frequency (3 bytes), factor, mode,
//                        bandwidth, node ID high, node ID low, net ID, power
//   20    checksum       sum of bytes 0..19, modulo 256
//   21-22 0D 0A          CR LF
//
// Everything here is pure: no I/O, no state, no threads.
#pragma once

#include "ModuleParams.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr std::size_t FrameSize = 23;
inline constexpr std::size_t FrameChecksumOffset = 20;
inline constexpr std::uint8_t FrameStartByte = 0xAF;
inline constexpr std::uint8_t FrameDataLength = 0x0C;
inline constexpr std::uint8_t CommandWrite = 0x01;
inline constexpr std::uint8_t CommandRead = 0x02;

using Frame = std::array<std::uint8_t, FrameSize>;

// Fills `out` with the constant read request
// AF AF 00 00 AF 80 02 0C, twelve 00, 9B 0D 0A.
void BuildReadRequest(Frame& out);

// Fills `out` with the write request carrying `params`. Code fields go out
// as they are; the frequency code keeps its low 24 bits.
void BuildWriteRequest(const ModuleParams& params, Frame& out);

// Sum of frame[0..19] with 8-bit wrap-around. Always reads exactly those
// twenty positions; the caller guarantees they are readable.
std::uint8_t FrameChecksum(const std::uint8_t* frame);

// MHz to frequency code with the module's write step of 61.035 Hz:
// q = mhz / 61.035 in double, then q * 1e6 truncated toward zero.
// A value whose code does not fit a signed 32-bit integer (including NaN)
// saturates instead of being undefined; 0 for NaN.
std::int32_t EncodeFrequency(double mhz);

// Frequency code bytes (frame bytes 10, 11, 12) to MHz with the read step
// of 61.03515625 Hz, cut to hundredths, all in IEEE double.
double DecodeFrequency(std::uint8_t b10, std::uint8_t b11, std::uint8_t b12);

// Fills every field of `out` from frame positions 8..19 of a reply whose
// checksum has already been found correct.
void DecodeReply(const std::uint8_t* frame, ModuleParams& out);

// Bytes as upper-case hex pairs separated by blanks ("AF AF 00 ..."), the
// way the simulator logs frames and the tests report them.
std::string ToHex(const std::uint8_t* bytes, std::size_t count);
