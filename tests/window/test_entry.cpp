// The program entry as a process: it exits 0 when its window is closed
// (also with the port open, whose reader ends first), when it is stopped
// with SIGTERM, and after an exception at start-up, which it shows.
#include "SimProcess.h"
#include "WindowFixture.h"

#include <QProcess>

#include <csignal>

namespace {

QProcessEnvironment ChildEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("KESTRIN_DEVICE_TABLE"), QStringLiteral("0"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), fixture::RuntimeDir().path());
    return env;
}

} // namespace

class TestEntry : public QObject
{
    Q_OBJECT

private slots:
    void init() { fixture::ClearPortFolder(); }
    void stoppedWithSigtermExitsZero();
    void closingWithPortOpenEndsReaderAndExitsZero();
    void startupException_data();
    void startupException();
};

void TestEntry::stoppedWithSigtermExitsZero()
{
    SimProcess sim;
    QVERIFY2(sim.Start(QStringLiteral(KESTRIN_SIM_PATH), {"--port", "1"}), qPrintable(sim.Error()));
    QProcess tool;
    tool.setProcessEnvironment(ChildEnvironment());
    // Blocked until the tool can handle it: the stop then takes the clean
    // road however early it comes.
    tool.setChildProcessModifier([] {
        sigset_t stops;
        sigemptyset(&stops);
        sigaddset(&stops, SIGTERM);
        ::sigprocmask(SIG_BLOCK, &stops, nullptr);
    });
    tool.start(QStringLiteral(KESTRIN_TOOL_PATH), {});
    QVERIFY(tool.waitForStarted());
    tool.terminate();
    QVERIFY(tool.waitForFinished(20000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 0);
    QCOMPARE(sim.Stop(), 0);
}

void TestEntry::closingWithPortOpenEndsReaderAndExitsZero()
{
    SimProcess sim;
    QVERIFY2(sim.Start(QStringLiteral(KESTRIN_SIM_PATH), {"--port", "1"}), qPrintable(sim.Error()));
    QProcess helper;
    helper.setProcessEnvironment(ChildEnvironment());
    helper.start(QStringLiteral(KESTRIN_ENTRY_HELPER_PATH), {"open-and-close"});
    QVERIFY(helper.waitForFinished(20000));
    const QString out = QString::fromLocal8Bit(helper.readAllStandardOutput());
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QCOMPARE(helper.exitCode(), 0);
    QVERIFY2(out.contains(QStringLiteral("opened=1 reader-ended=1")), qPrintable(out));
    QVERIFY2(!out.contains(QStringLiteral("box")), qPrintable(out));
}

void TestEntry::startupException_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("text");
    QTest::newRow("exception shows its message") << "throw" << "start-up failed";
    QTest::newRow("other object shows an empty message") << "throw-int" << "";
}

void TestEntry::startupException()
{
    QFETCH(QString, mode);
    QFETCH(QString, text);
    QProcess helper;
    helper.setProcessEnvironment(ChildEnvironment());
    helper.start(QStringLiteral(KESTRIN_ENTRY_HELPER_PATH), {mode});
    QVERIFY(helper.waitForFinished(20000));
    const QString out = QString::fromLocal8Bit(helper.readAllStandardOutput());
    QCOMPARE(helper.exitCode(), 0);
    QVERIFY2(out.contains(QStringLiteral("text=[%1]").arg(text)), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("caption=[entry_helper]")), qPrintable(out));
    QCOMPARE(out.count(QStringLiteral("box")), 1);
}

KESTRIN_WINDOW_TEST_MAIN(TestEntry)
#include "test_entry.moc"
