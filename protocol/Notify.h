// How the module link tells the window about a reply, without waiting for
// it: a registry of named messages and a notify target that the window
// supplies.
#pragma once

#include "ModuleParams.h"

#include <cstdint>

inline constexpr const char* ReplyMessageName = "KestrinSerial_MSG_RECV_1";
inline constexpr const char* LostMessageName = "KestrinSerial_MSG_LOST_1";

// Gives each message name one stable non-zero id within the process; the
// same name always yields the same id. Returns 0 for a null or empty name.
// Thread-safe.
std::uint32_t RegisterMessage(const char* name);

struct Notification {
    std::uint32_t message = 0;
    std::uintptr_t wparam = 0;   // reply: 0 checksum matched, 1 it did not
    std::intptr_t lparam = 0;    // always 0
    ModuleParams params;         // the reply's own copy of the parameters
};

// Implemented by the window. Post may be called from any thread, never
// blocks, and queues the notification for the target's own thread, which
// handles notifications one at a time, in posting order, each after the
// handler running there has returned.
class NotifyTarget
{
public:
    virtual void Post(const Notification& notification) noexcept = 0;

protected:
    ~NotifyTarget() = default;
};
