// Shared pieces of the window benchmarks: a private port folder, the
// offscreen platform, waiting for a shown window, and figures.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace bench {

// Call first in main(): ports come only from a private folder, never from
// the machine's own serial devices.
inline QTemporaryDir& PrivateRuntime()
{
    static QTemporaryDir dir;
    qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
    qputenv("KESTRIN_DEVICE_TABLE", "0");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QDir().mkpath(dir.path() + QStringLiteral("/kestrin/ports"));
    return dir;
}

inline bool WaitExposed(QWidget* w, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!(w->windowHandle() && w->windowHandle()->isExposed())) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

inline long ResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

struct Figures {
    double median, p95, max;
};

inline Figures Summarise(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) { return samples[std::size_t(q * double(samples.size() - 1))]; };
    return {at(0.5), at(0.95), samples.back()};
}

} // namespace bench
