#include "KestrinSerial.h"

KestrinSerial::KestrinSerial()
    : LostMessageId(RegisterMessage(LostMessageName))
{
}

KestrinSerial::~KestrinSerial()
{
    // The reader calls OnReceiveByte on this object; it must be gone before
    // the framer and the notify target are.
    Close();
}

void KestrinSerial::SetNotifyTarget(NotifyTarget* window, std::uint32_t messageId)
{
    NotifyWindow = window;
    NotifyMessageId = messageId;
}

std::int32_t KestrinSerial::SendReadCommand()
{
    Frame request;
    BuildReadRequest(request);
    return Write(request.data(), static_cast<std::uint32_t>(request.size()));
}

std::int32_t KestrinSerial::SendWriteCommand(const ModuleParams* params)
{
    if (params == nullptr || !IsOpen())
        return 0;
    Frame request;
    BuildWriteRequest(*params, request);
    return Write(request.data(), static_cast<std::uint32_t>(request.size()));
}

void KestrinSerial::OnReceiveByte(std::uint8_t byte)
{
    std::uintptr_t wparam = 0;
    switch (Framer.Feed(byte)) {
    case ReplyFramer::Result::Reply:
        DecodeReply(Framer.Frame(), ReplyParams);
        wparam = 0;
        break;
    case ReplyFramer::Result::BadChecksum:
        wparam = 1;
        break;
    default:
        return;
    }
    Notify(NotifyMessageId, wparam);
}

void KestrinSerial::OnPortLost()
{
    Notify(LostMessageId, 0);
}

void KestrinSerial::Notify(std::uint32_t message, std::uintptr_t wparam)
{
    if (NotifyWindow == nullptr)
        return;
    Notification notification;
    notification.message = message;
    notification.wparam = wparam;
    notification.lparam = 0;
    notification.params = ReplyParams;
    NotifyWindow->Post(notification);
}
