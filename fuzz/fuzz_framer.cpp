// Fuzz target for the module link's reply framer.
//
// Property, checked after every byte: a notification with WParam 0 carries
// exactly the decode of the 23 input bytes that end at that byte, and those
// bytes are a well-formed reply with a good checksum; one with WParam 1
// ends a well-formed reply whose checksum does not match and carries the
// parameters of the last good one. Nothing else is ever notified. Out-of-
// bounds access is left to the sanitizers.

#include "KestrinSerial.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

class Recorder : public NotifyTarget
{
public:
    void Post(const Notification& notification) noexcept override
    {
        if (Count < Capacity)
            Last[Count] = notification;
        ++Count;
    }

    static constexpr std::size_t Capacity = 4;
    Notification Last[Capacity];
    std::size_t Count = 0;
};

[[noreturn]] void Fail(const char* what, std::size_t at)
{
    std::fprintf(stderr, "framer property broken at input byte %zu: %s\n", at, what);
    std::abort();
}

bool WellFormed(const std::uint8_t* w)
{
    return w[0] == FrameStartByte && w[1] == FrameStartByte && w[7] == FrameDataLength && w[21] == 0x0D
        && w[22] == 0x0A;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::uint32_t id = RegisterMessage(ReplyMessageName);
    Recorder recorder;
    KestrinSerial link;
    link.SetNotifyTarget(&recorder, id);
    ModuleParams lastGood{};

    for (std::size_t i = 0; i < size; ++i) {
        link.OnReceiveByte(data[i]);
        if (recorder.Count == 0)
            continue;
        if (recorder.Count > 1)
            Fail("more than one notification for one byte", i);
        const Notification n = recorder.Last[0];
        recorder.Count = 0;
        if (n.message != id || n.lparam != 0)
            Fail("wrong message or lparam", i);
        if (i + 1 < FrameSize)
            Fail("notified before 23 bytes arrived", i);
        const std::uint8_t* window = data + i + 1 - FrameSize;
        if (!WellFormed(window))
            Fail("notified for bytes that are not a reply", i);
        const bool good = FrameChecksum(window) == window[FrameChecksumOffset];
        if (n.wparam == 0) {
            if (!good)
                Fail("WParam 0 for a bad checksum", i);
            ModuleParams expected;
            DecodeReply(window, expected);
            if (!(n.params == expected) || !(link.ReplyParams == expected))
                Fail("WParam 0 with values other than the window's", i);
            lastGood = expected;
        } else if (n.wparam == 1) {
            if (good)
                Fail("WParam 1 for a good checksum", i);
            if (!(n.params == lastGood) || !(link.ReplyParams == lastGood))
                Fail("WParam 1 changed the reply parameters", i);
        } else {
            Fail("WParam neither 0 nor 1", i);
        }
    }
    return 0;
}
