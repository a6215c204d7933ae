// What the port list tells a Linux user beyond the port names: the device
// each entry opens (with the USB adapter's maker, product and serial
// number), and one sentence on why no port was found or a port did not
// open.
#pragma once

#include "SerialError.h"

#include <QString>

#include <cstdint>

QString PortEntryToolTip(std::uint32_t port);
// Empty when nothing can be said beyond "no port".
QString NoPortSentence();
QString OpenFailureSentence(const SerialFailure& failure, std::uint32_t port);
QString LostPortSentence(const SerialFailure& failure);
