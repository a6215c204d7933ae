// The tool's entry as a process, stopped while its window is busy: in the
// middle of a burst of replies, and with Write All stuck on a line whose far
// end never reads. It ends within a few seconds and exits 0 either way.
#include "WindowFixture.h"

#include <QProcess>

#include <atomic>
#include <cerrno>
#include <thread>
#include <unistd.h>

using fixture::PtyModule;

namespace {

// A generous deadline for the exit: the stuck write alone may take its
// three one-second attempts.
constexpr int ExitDeadlineMs = 5000;

QProcessEnvironment ChildEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("KESTRIN_DEVICE_TABLE"), QStringLiteral("0"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), fixture::RuntimeDir().path());
    return env;
}

bool WaitForLine(QProcess& process, const QByteArray& line)
{
    while (process.state() != QProcess::NotRunning) {
        while (process.canReadLine())
            if (process.readLine().trimmed() == line)
                return true;
        if (!process.waitForReadyRead(10000))
            return false;
    }
    return false;
}

} // namespace

class TestFaultExit : public QObject
{
    Q_OBJECT

private slots:
    void init() { fixture::ClearPortFolder(); }
    void stoppedDuringABurstOfReplies();
    void stoppedWithAWriteBlockedOnAFullLine();

private:
    static void ExpectCleanExit(QProcess& tool);
};

void TestFaultExit::ExpectCleanExit(QProcess& tool)
{
    tool.terminate();
    QVERIFY2(tool.waitForFinished(ExitDeadlineMs), "the tool did not end within 5 s");
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 0);
    const QByteArray rest = tool.readAllStandardOutput();
    QVERIFY2(!rest.contains("box"), rest.constData());
}

void TestFaultExit::stoppedDuringABurstOfReplies()
{
    PtyModule module(1);
    QProcess tool;
    tool.setProcessEnvironment(ChildEnvironment());
    tool.start(QStringLiteral(KESTRIN_FAULT_HELPER_PATH), {QStringLiteral("burst")});
    QVERIFY(WaitForLine(tool, "open 1"));

    // Replies without end until the tool is gone; the stop comes once a
    // good many have gone through its reader.
    std::atomic<bool> streaming{true};
    std::atomic<std::size_t> sent{0};
    std::thread moduleSide([&] {
        Frame frame;
        BuildWriteRequest(fixture::DistinctParams(), frame);
        std::vector<std::uint8_t> replies;
        for (int i = 0; i < 100; ++i)
            replies.insert(replies.end(), frame.begin(), frame.end());
        const int master = module.Line().master;
        while (streaming) {
            const ssize_t n = ::write(master, replies.data(), replies.size());
            if (n > 0) {
                sent += std::size_t(n);
            } else if (errno == EAGAIN) {
                pollfd p{master, POLLOUT, 0};
                ::poll(&p, 1, 50);
            } else {
                break;
            }
        }
    });
    const bool underWay = QTest::qWaitFor([&] { return sent >= 100 * FrameSize * 20; }, 10000);
    ExpectCleanExit(tool);
    streaming = false;
    moduleSide.join();
    QVERIFY(underWay);
}

void TestFaultExit::stoppedWithAWriteBlockedOnAFullLine()
{
    PtyModule module(1);
    QProcess tool;
    tool.setProcessEnvironment(ChildEnvironment());
    tool.start(QStringLiteral(KESTRIN_FAULT_HELPER_PATH), {QStringLiteral("blocked-write")});
    QVERIFY(WaitForLine(tool, "open 1"));

    // The far end never reads: fill the line from the slave side until the
    // kernel takes no more, then let the tool click Write All.
    module.FillLine();
    tool.write("go\n");
    QVERIFY(WaitForLine(tool, "writing"));
    ExpectCleanExit(tool);
}

KESTRIN_WINDOW_TEST_MAIN(TestFaultExit)
#include "test_fault_exit.moc"
