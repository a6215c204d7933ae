#include "PortHints.h"

#include <QStringList>

QString PortEntryToolTip(const PortInfo& info)
{
    QString tip = QString::fromStdString(info.device);
    if (!info.resolved.empty() && info.resolved != info.device)
        tip += QStringLiteral(" \u2192 ") + QString::fromStdString(info.resolved);
    QStringList usb;
    for (const std::string* field : {&info.manufacturer, &info.product})
        if (!field->empty())
            usb << QString::fromStdString(*field);
    if (!info.serialNumber.empty())
        usb << QStringLiteral("serial ") + QString::fromStdString(info.serialNumber);
    if (!usb.isEmpty())
        tip += QStringLiteral("\n") + usb.join(QStringLiteral(", "));
    return tip;
}

namespace {

QString Sentence(QString text)
{
    if (!text.isEmpty() && !text.endsWith(u'.'))
        text += u'.';
    return text;
}

} // namespace

QString NoPortSentence(const SerialFailure* firstRefused)
{
    if (firstRefused != nullptr)
        return Sentence(QString::fromStdString(DescribeFailure(*firstRefused)));
    return QStringLiteral("No serial port found: plug in the adapter, then press Refresh.");
}

QString FailureSentence(const SerialFailure& failure, const QString& fallback)
{
    if (failure.error == SerialError::None)
        return fallback;
    return Sentence(QString::fromStdString(DescribeFailure(failure)));
}
