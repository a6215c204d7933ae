// The module link: a serial port that sends the module's read and write
// requests and reassembles its replies byte by byte on the reader thread.
//
// Thread rules: SetNotifyTarget, SendReadCommand and SendWriteCommand run
// on the owner's (window's) thread; OnReceiveByte and OnPortLost run on the
// port's reader thread only, and touch nothing but the framer, ReplyParams
// and the notify target's Post. The window never reads ReplyParams while a
// port is open: each notification carries its own copy of the reply.
#pragma once

#include "CXSerial.h"
#include "Frames.h"
#include "ModuleParams.h"
#include "Notify.h"
#include "ReplyFramer.h"

#include <cstdint>

class KestrinSerial : public CXSerial
{
public:
    KestrinSerial();
    // Not virtual, like its base. Closes the port, and so ends the reader,
    // before any member of the link goes.
    ~KestrinSerial();

    // A null target turns notification off. Called before the port is first
    // opened.
    void SetNotifyTarget(NotifyTarget* window, std::uint32_t messageId);

    std::int32_t SendReadCommand();
    std::int32_t SendWriteCommand(const ModuleParams* params);

    void OnReceiveByte(std::uint8_t byte) override;
    void OnPortLost() override;

    // The last reply whose checksum matched; zero-filled until then.
    // Written by the reader thread only.
    ModuleParams ReplyParams{};

private:
    void Notify(std::uint32_t message, std::uintptr_t wparam);

    NotifyTarget* NotifyWindow = nullptr;
    std::uint32_t NotifyMessageId = 0;
    std::uint32_t LostMessageId = 0;
    // Belongs to the link, not to an open port: a reply cut off by Close is
    // completed by the bytes that follow the next Open. Reader thread only.
    ReplyFramer Framer;
};
