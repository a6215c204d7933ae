// Reassembles the module's 23-byte frames from a byte stream, one byte at
// a time.
//
// A candidate frame begins at a start pair AF AF and must carry the data
// length 0C at byte 7. It is complete at exactly 23 bytes; CR LF or AF AF
// inside those bytes are data. A complete candidate ending in CR LF is a
// reply, judged by the checksum of its own bytes 0..19 against byte 20.
// A candidate that proves not to be a frame is dropped, and the search for
// the next start pair goes on among the bytes already held after the
// candidate's first byte, so a reply that follows noise, a lone AF or a
// cut-off frame is still found. Header bytes 2..6 are never examined.
//
// Fixed memory, no allocation, no lock, bounded work per byte: the framer
// belongs to one thread (the port's reader). A copy is an independent
// framer in the same state.
#pragma once

#include "Frames.h"

#include <cstddef>
#include <cstdint>

class ReplyFramer
{
public:
    enum class State {
        Idle,        // nothing held
        MarkerSeen,  // one AF held, waiting for its partner
        Header,      // a start pair and up to 5 more bytes held
        Body,        // header accepted (byte 7 is 0C), 8 to 22 bytes held
    };

    enum class Result {
        NeedMore,     // the byte is held as part of a candidate
        Ignored,      // the byte lies outside any frame and is dropped
        NotAFrame,    // a candidate was dropped; held bytes were searched again
        Reply,        // a reply with a good checksum: see Frame()
        BadChecksum,  // a reply whose checksum does not match: see Frame()
    };

    Result Feed(std::uint8_t byte);

    // The 23 bytes of the reply just judged; valid after Feed returned
    // Reply or BadChecksum, until the next Feed.
    const std::uint8_t* Frame() const { return Held; }

    State CurrentState() const { return Now; }
    std::size_t HeldCount() const { return Count; }

    // Drops whatever is held.
    void Reset();

private:
    // Drops the candidate at Held[0] and moves the earliest possible start
    // among Held[1..Count-1] to the front, repeating while the moved bytes
    // prove not to be a frame either.
    void Resync();
    void SettleState();

    std::uint8_t Held[FrameSize] = {};
    std::size_t Count = 0;
    State Now = State::Idle;
};

const char* ToString(ReplyFramer::Result result);
const char* ToString(ReplyFramer::State state);
