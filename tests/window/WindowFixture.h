// Shared pieces of the window suites: a private port folder, a module on a
// pseudo-terminal published as COM<n>, and a Qt Test main that runs the
// suite under the tool's own application object with the error box
// replaced by a recorder.
#pragma once

#include "Application.h"
#include "Frames.h"
#include "ModuleParams.h"
#include "PseudoTerminal.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <chrono>
#include <memory>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace fixture {

// Every error box shown while the suite runs: caption and text.
struct ShownBox {
    QString caption;
    QString text;
};
inline std::vector<ShownBox>& ShownBoxes()
{
    static std::vector<ShownBox> boxes;
    return boxes;
}

// The runtime folder lives as long as the process; its port folder is
// emptied between cases.
inline QTemporaryDir& RuntimeDir()
{
    static QTemporaryDir dir;
    return dir;
}

inline QString PortFolder()
{
    return RuntimeDir().path() + QStringLiteral("/kestrin/ports");
}

inline void ClearPortFolder()
{
    QDir(PortFolder()).removeRecursively();
    QDir().mkpath(PortFolder());
}

// Publishes `target` as COM<n> in the port folder.
inline void LinkPort(unsigned n, const QString& target)
{
    QDir().mkpath(PortFolder());
    const QString link = PortFolder() + QStringLiteral("/COM%1").arg(n);
    QFile::remove(link);
    QFile::link(target, link);
}

// A module on the far end of a pseudo-terminal, published as COM<n>: it
// reads requests and answers only when told to.
class PtyModule
{
public:
    explicit PtyModule(unsigned n) : Number(n)
    {
        if (!Pty.Open())
            qFatal("cannot open a pseudo-terminal");
        LinkPort(n, QString::fromStdString(Pty.slavePath));
    }

    unsigned Port() const { return Number; }

    // Waits up to `ms` for one whole 23-byte frame from the window.
    bool ReadFrame(Frame& frame, int ms = 5000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (Pending.size() < FrameSize) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0)
                return false;
            pollfd p{Pty.master, POLLIN, 0};
            if (::poll(&p, 1, int(left)) <= 0)
                continue;
            std::uint8_t buffer[256];
            const ssize_t got = ::read(Pty.master, buffer, sizeof buffer);
            if (got > 0)
                Pending.insert(Pending.end(), buffer, buffer + got);
        }
        std::copy_n(Pending.begin(), FrameSize, frame.begin());
        Pending.erase(Pending.begin(), Pending.begin() + FrameSize);
        return true;
    }

    // True if nothing arrives within `ms`.
    bool Quiet(int ms)
    {
        Frame frame;
        return !ReadFrame(frame, ms);
    }

    void Answer(const ModuleParams& params, bool badChecksum = false)
    {
        Frame frame;
        BuildWriteRequest(params, frame);
        if (badChecksum)
            frame[FrameChecksumOffset] ^= 0x5A;
        [[maybe_unused]] const ssize_t written = ::write(Pty.master, frame.data(), frame.size());
    }

    // An adapter pulled out of its socket.
    void Unplug() { Pty.CloseMaster(); }

    // Both ends, for cases that flood the line or hold the device.
    PseudoTerminal& Line() { return Pty; }

    // A far end that never reads: sends from the slave side until the line
    // takes no more, so the window's next write finds no room. The kernel
    // moves queued bytes on in the background, freeing room a moment after
    // a write is refused; full is when none appears for a while.
    void FillLine()
    {
        ::fcntl(Pty.slave, F_SETFL, ::fcntl(Pty.slave, F_GETFL) | O_NONBLOCK);
        const std::vector<std::uint8_t> fill(4096, 0x11);
        for (;;) {
            while (::write(Pty.slave, fill.data(), fill.size()) > 0) {
            }
            pollfd p{Pty.slave, POLLOUT, 0};
            if (::poll(&p, 1, 200) <= 0)
                return;
        }
    }

private:
    unsigned Number;
    PseudoTerminal Pty;
    std::vector<std::uint8_t> Pending;
};

// Reply values every case can recognise: nothing at its form default.
inline ModuleParams DistinctParams()
{
    ModuleParams p;
    p.McuBaudRate = 6;    // "38400"
    p.McuParity = 2;      // "EVEN"
    p.RfFrequency = 868.5;
    p.RfFactor = 9;       // "512"
    p.RfMode = 1;         // "Saving"
    p.RfBw = 9;           // "500K"
    p.CustID_H = 18;
    p.CustID_L = 52;
    p.NetID = 200;
    p.Power = 3;
    return p;
}

} // namespace fixture

// main() for a window suite: private runtime folder, no fixed device
// table, the offscreen platform, an English number format, the error box
// recorded instead of shown.
#define KESTRIN_WINDOW_TEST_MAIN(TestClass)                                                    \
    int main(int argc, char** argv)                                                            \
    {                                                                                          \
        if (!fixture::RuntimeDir().isValid())                                                  \
            return 1;                                                                          \
        qputenv("XDG_RUNTIME_DIR", fixture::RuntimeDir().path().toLocal8Bit());               \
        qputenv("KESTRIN_DEVICE_TABLE", "0");                                                  \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                    \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                           \
        fixture::ClearPortFolder();                                                            \
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));                 \
        TApplication app(argc, argv);                                                          \
        TApplication::SetErrorBox([](const QString& caption, const QString& text) {            \
            fixture::ShownBoxes().push_back({caption, text});                                  \
        });                                                                                    \
        TestClass test;                                                                        \
        return QTest::qExec(&test, argc, argv);                                                \
    }
