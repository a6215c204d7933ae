#include "ReplyFramer.h"

#include <cstring>

namespace {

constexpr std::size_t LengthOffset = 7;
constexpr std::size_t HeaderSize = 8;
constexpr std::uint8_t Cr = 0x0D;
constexpr std::uint8_t Lf = 0x0A;

} // namespace

ReplyFramer::Result ReplyFramer::Feed(std::uint8_t byte)
{
    switch (Now) {
    case State::Idle:
        if (byte != FrameStartByte)
            return Result::Ignored;
        Held[0] = byte;
        Count = 1;
        Now = State::MarkerSeen;
        return Result::NeedMore;

    case State::MarkerSeen:
        if (byte != FrameStartByte) {
            Reset();
            return Result::Ignored;
        }
        Held[1] = byte;
        Count = 2;
        Now = State::Header;
        return Result::NeedMore;

    case State::Header:
        Held[Count++] = byte;
        if (Count < HeaderSize)
            return Result::NeedMore;
        if (Held[LengthOffset] != FrameDataLength) {
            Resync();
            return Result::NotAFrame;
        }
        Now = State::Body;
        return Result::NeedMore;

    case State::Body:
        Held[Count++] = byte;
        if (Count < FrameSize)
            return Result::NeedMore;
        if (Held[21] != Cr || Held[22] != Lf) {
            Resync();
            return Result::NotAFrame;
        }
        // The reply is consumed whole; Held keeps its bytes for Frame()
        // until the next byte arrives.
        Count = 0;
        Now = State::Idle;
        return FrameChecksum(Held) == Held[FrameChecksumOffset] ? Result::Reply : Result::BadChecksum;
    }
    return Result::Ignored;
}

void ReplyFramer::Reset()
{
    Count = 0;
    Now = State::Idle;
}

void ReplyFramer::Resync()
{
    // Each pass drops at least one byte, so this ends within FrameSize
    // passes of at most FrameSize steps each.
    while (Count > 0) {
        std::size_t start = 1;
        // A start pair, or a lone AF as the last byte held, which the next
        // byte may complete.
        while (start < Count
               && !(Held[start] == FrameStartByte && (start + 1 == Count || Held[start + 1] == FrameStartByte)))
            ++start;
        if (start >= Count) {
            Reset();
            return;
        }
        Count -= start;
        std::memmove(Held, Held + start, Count);
        if (Count <= LengthOffset || Held[LengthOffset] == FrameDataLength) {
            SettleState();
            return;
        }
    }
    Reset();
}

void ReplyFramer::SettleState()
{
    if (Count == 0)
        Now = State::Idle;
    else if (Count == 1)
        Now = State::MarkerSeen;
    else if (Count < HeaderSize)
        Now = State::Header;
    else
        Now = State::Body;
}

const char* ToString(ReplyFramer::Result result)
{
    switch (result) {
    case ReplyFramer::Result::NeedMore: return "NeedMore";
    case ReplyFramer::Result::Ignored: return "Ignored";
    case ReplyFramer::Result::NotAFrame: return "NotAFrame";
    case ReplyFramer::Result::Reply: return "Reply";
    case ReplyFramer::Result::BadChecksum: return "BadChecksum";
    }
    return "?";
}

const char* ToString(ReplyFramer::State state)
{
    switch (state) {
    case ReplyFramer::State::Idle: return "Idle";
    case ReplyFramer::State::MarkerSeen: return "MarkerSeen";
    case ReplyFramer::State::Header: return "Header";
    case ReplyFramer::State::Body: return "Body";
    }
    return "?";
}
