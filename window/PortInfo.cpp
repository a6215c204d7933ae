#include "PortInfo.h"

QString PortEntryToolTip(std::uint32_t port)
{
    return QStringLiteral("COM%1").arg(port);
}

QString NoPortSentence()
{
    return QStringLiteral("No serial port found: plug in the adapter and press Refresh.");
}

QString OpenFailureSentence(const SerialFailure& failure, std::uint32_t port)
{
    if (failure.error == SerialError::None)
        return QStringLiteral("COM%1 did not open.").arg(port);
    return QString::fromStdString(DescribeFailure(failure));
}

QString LostPortSentence(const SerialFailure& failure)
{
    if (failure.error == SerialError::None)
        return QStringLiteral("The port went away: check the adapter's cable.");
    return QString::fromStdString(DescribeFailure(failure));
}
