// What the port list tells a Linux user beyond the port names: the device
// each entry opens (with a USB adapter's maker, product and serial number),
// and one sentence on why no port was found or a port did not open.
#pragma once

#include "PortNames.h"
#include "SerialError.h"

#include <QString>

QString PortEntryToolTip(const PortInfo& info);
// `firstRefused`: the first device that exists but could not be opened
// during the scan, or null when no port number named any device.
QString NoPortSentence(const SerialFailure* firstRefused);
QString FailureSentence(const SerialFailure& failure, const QString& fallback);
