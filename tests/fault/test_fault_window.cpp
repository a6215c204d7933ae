// The window under faults, in a real event loop: an adapter pulled out at
// the worst moments, a module that floods the line with noise, a hundred
// replies at once, a port another program holds, and a hostile port folder.
#include "Mainunit.h"
#include "ProcessFigures.h"
#include "WindowFixture.h"

#include <QTimer>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using fixture::PtyModule;

namespace {

// How long the module floods the line. Long enough for the window's
// one-second clock to tick several times under the load.
constexpr std::chrono::seconds FloodDuration(10);
// Resident memory may move by a few pages; a buffer that grew with the
// flood would be megabytes.
constexpr std::size_t FloodResidentMargin = 4u << 20;
// A reader spinning on a dead device would use about all of this.
constexpr int IdleSpanMs = 2000;
constexpr auto IdleCpuLimit = std::chrono::milliseconds(300);

using Pull = std::function<void(PtyModule& module, TMainForm& form)>;

// Writes `bytes` to a non-blocking descriptor, waiting for room; false if
// the far side went away.
bool WriteWhole(int fd, const std::uint8_t* bytes, std::size_t count)
{
    while (count > 0) {
        const ssize_t n = ::write(fd, bytes, count);
        if (n > 0) {
            bytes += n;
            count -= std::size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 100);
    }
    return true;
}

std::vector<std::uint8_t> ReplyBytes(const ModuleParams& params)
{
    Frame frame;
    BuildWriteRequest(params, frame);
    return {frame.begin(), frame.end()};
}

ModuleParams Numbered(int i)
{
    ModuleParams p = fixture::DistinctParams();
    p.NetID = std::uint8_t(i);
    return p;
}

// The system call the window's thread is blocked in, from
// /proc/self/task/<tid>/syscall: its number, or -1 while it runs.
long WindowThreadSyscall()
{
    const QString path = QStringLiteral("/proc/self/task/%1/syscall").arg(::getpid());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const long number = QString::fromLatin1(file.readLine()).section(u' ', 0, 0).toLong(&ok);
    return ok ? number : -1;
}

} // namespace

class TestFaultWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void farEndClosed_data();
    void farEndClosed();
    void floodOfNoise();
    void hundredRepliesInOneBurst();
    void portHeldByAnotherProgram_data();
    void portHeldByAnotherProgram();
    void hostilePortFolder_data();
    void hostilePortFolder();

private:
    void Open(unsigned port);

    std::unique_ptr<TMainForm> Form;
};

Q_DECLARE_METATYPE(Pull)

void TestFaultWindow::init()
{
    fixture::ClearPortFolder();
    fixture::ShownBoxes().clear();
    Form = std::make_unique<TMainForm>(qApp);
    Form->show();
    QVERIFY(QTest::qWaitForWindowExposed(Form.get()));
}

void TestFaultWindow::cleanup()
{
    Form.reset();
    ::chmod(qPrintable(fixture::PortFolder()), 0700);
    [[maybe_unused]] const int owned = ::chown(qPrintable(fixture::PortFolder()), ::getuid(), ::getgid());
    fixture::ClearPortFolder();
}

void TestFaultWindow::Open(unsigned port)
{
    QTest::mouseClick(Form->suiButton1, Qt::LeftButton);
    const int at = Form->suiComboBox_PcPort->findText(QStringLiteral("COM%1").arg(port));
    QVERIFY2(at >= 0, qPrintable(Form->suiComboBox_PcPort->toolTip()));
    Form->suiComboBox_PcPort->SetItemIndex(at);
    QTest::mouseClick(Form->suiButton_OpenPort, Qt::LeftButton);
    QCOMPARE(Form->Link()->IsOpen(), 1);
    QCOMPARE(Form->suiStatusBar1->PanelText(0), QStringLiteral("Opened"));
}

// ---------------------------------------------- adapter pulled out

void TestFaultWindow::farEndClosed_data()
{
    QTest::addColumn<Pull>("pull");
    QTest::newRow("while idle") << Pull([](PtyModule& module, TMainForm&) { module.Unplug(); });
    QTest::newRow("during a Write") << Pull([](PtyModule& module, TMainForm& form) {
        // The line full and no one reading: Write All waits for room on the
        // window's thread when the far end goes.
        module.FillLine();
        std::atomic<bool> clicking{false};
        std::thread puller([&] {
            while (!clicking.load())
                std::this_thread::yield();
            // poll and ppoll: the Write waiting for room. Past the deadline
            // the adapter goes anyway, so the case cannot hang.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            for (long call = -1; call != 7 && call != 271 && call != 73;) {
                if (std::chrono::steady_clock::now() > deadline)
                    break;
                std::this_thread::yield();
                call = WindowThreadSyscall();
            }
            module.Unplug();
        });
        clicking = true;
        form.btn_WriteAllClick(form.btn_WriteAll);
        puller.join();
    });
    QTest::newRow("during a burst of replies") << Pull([](PtyModule& module, TMainForm& form) {
        QTest::mouseClick(form.btn_ReadAll, Qt::LeftButton);
        std::vector<std::uint8_t> burst;
        for (int i = 0; i < 300; ++i) {
            const std::vector<std::uint8_t> reply = ReplyBytes(Numbered(i));
            burst.insert(burst.end(), reply.begin(), reply.end());
        }
        // The first half is being handled when the rest goes in and the far
        // end closes behind it. (A hang-up discards what the slave has not
        // read yet, so not every reply of the burst arrives.)
        const int master = module.Line().master;
        const std::size_t half = burst.size() / 2;
        QVERIFY(WriteWhole(master, burst.data(), half));
        QTRY_COMPARE(form.suiStatusBar1->PanelText(1), QStringLiteral("Successful"));
        QVERIFY(WriteWhole(master, burst.data() + half, burst.size() - half));
        module.Unplug();
    });
}

void TestFaultWindow::farEndClosed()
{
    QFETCH(Pull, pull);
    auto module = std::make_unique<PtyModule>(4);
    Open(4);
    pull(*module, *Form);

    QTRY_COMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("Error:PortLost!"));
    QCOMPARE(Form->suiStatusBar1->PanelText(0), QStringLiteral("Closed"));
    QCOMPARE(Form->suiButton_OpenPort->Caption(), QStringLiteral("Open"));
    QCOMPARE(Form->Link()->IsOpen(), 0);

    // A second loss report would show the text again; none may come, and
    // the wait for it costs next to no processor time.
    Form->SetStatusText(QStringLiteral("marker"), 1);
    const auto before = figures::ProcessCpuTime();
    QVERIFY(!QTest::qWaitFor([&] { return Form->suiStatusBar1->PanelText(1) == QStringLiteral("Error:PortLost!"); },
                             IdleSpanMs));
    const auto used = figures::ProcessCpuTime() - before;
    QVERIFY2(used < IdleCpuLimit, qPrintable(QStringLiteral("%1 us of processor time while idle").arg(used.count())));

    // A new adapter under the same number opens and answers.
    module = std::make_unique<PtyModule>(4);
    Open(4);
    QTest::mouseClick(Form->btn_ReadAll, Qt::LeftButton);
    Frame request;
    QVERIFY(module->ReadFrame(request));
    QCOMPARE(int(request[6]), int(CommandRead));
    module->Answer(fixture::DistinctParams());
    QTRY_COMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("Successful"));
    QCOMPARE(Form->suiNumberEdit_NetID->Value(), 200.0);
}

// ------------------------------------------------------------ noise

void TestFaultWindow::floodOfNoise()
{
    PtyModule module(5);
    Open(5);
    QVERIFY(Form->tmr1->Enabled());

    int ticks = 0;
    const TNotifyEvent ownTick = Form->tmr1->OnTimer;
    Form->tmr1->OnTimer = [&, ownTick](QObject* sender) {
        ++ticks;
        ownTick(sender);
    };

    const std::size_t residentBefore = figures::ResidentBytes();
    std::atomic<bool> flooding{true};
    std::atomic<std::uint64_t> flooded{0};
    const ModuleParams planted = fixture::DistinctParams();
    std::thread floodThread([&] {
        std::mt19937 random(20261211);
        std::vector<std::uint8_t> chunk(4096);
        const int master = module.Line().master;
        const auto start = std::chrono::steady_clock::now();
        bool plantedYet = false;
        while (std::chrono::steady_clock::now() - start < FloodDuration) {
            for (std::uint8_t& b : chunk)
                b = std::uint8_t(random());
            if (!WriteWhole(master, chunk.data(), chunk.size()))
                break;
            flooded += chunk.size();
            if (!plantedYet && std::chrono::steady_clock::now() - start > FloodDuration / 2) {
                // Zeros first, so a candidate frame the noise began ends
                // before the reply does.
                std::vector<std::uint8_t> reply(2 * FrameSize, 0x00);
                const std::vector<std::uint8_t> frame = ReplyBytes(planted);
                reply.insert(reply.end(), frame.begin(), frame.end());
                WriteWhole(master, reply.data(), reply.size());
                plantedYet = true;
            }
        }
        flooding = false;
    });

    // A click that comes through the event loop while the flood runs.
    bool clickHandledDuringFlood = false;
    QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(FloodDuration / 4), Form.get(), [&] {
        QTest::mouseClick(Form->btn_ReadAll, Qt::LeftButton);
        clickHandledDuringFlood = flooding && Form->suiStatusBar1->PanelText(1) == QStringLiteral("......");
    });

    // The flood ends by itself; the generous deadline only guards a hang.
    const bool ended = QTest::qWaitFor([&] { return !flooding; },
                                       int(std::chrono::milliseconds(FloodDuration).count()) + 20000);
    floodThread.join();
    QVERIFY(ended);
    const std::size_t residentAfter = figures::ResidentBytes();
    Form->tmr1->OnTimer = ownTick;

    std::printf("[ figures  ] flood of %llu MiB in %lld s: resident %zu KiB -> %zu KiB, %d clock ticks\n",
                static_cast<unsigned long long>(flooded.load() >> 20), static_cast<long long>(FloodDuration.count()),
                residentBefore >> 10, residentAfter >> 10, ticks);
    std::fflush(stdout);

    QVERIFY(clickHandledDuringFlood);
    QVERIFY2(ticks >= int(FloodDuration.count()) / 2, qPrintable(QString::number(ticks)));
    // The planted reply reached the controls through the noise.
    QTRY_COMPARE(Form->suiNumberEdit_NetID->Value(), 200.0);
    QCOMPARE(Form->suiNumberEdit_CustID_H->Value(), 18.0);
    QCOMPARE(Form->suiComboBox_McuBaudRate->Text(), QStringLiteral("38400"));
    QVERIFY2(residentAfter <= residentBefore + FloodResidentMargin,
             qPrintable(QStringLiteral("%1 KiB -> %2 KiB").arg(residentBefore >> 10).arg(residentAfter >> 10)));
    QCOMPARE(Form->Link()->IsOpen(), 1);
}

// ------------------------------------------------- a hundred at once

namespace {

// Notes, as each notification reaches the window, the node id the
// controls show then: the one the previous notification loaded.
class ArrivalWatch : public QObject
{
public:
    explicit ArrivalWatch(TMainForm* form) : Form(form) { form->installEventFilter(this); }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == TMainForm::NotifyEventType())
            ShownBefore.push_back(int(Form->suiNumberEdit_NetID->Value()));
        return false;
    }

    TMainForm* Form;
    std::vector<int> ShownBefore;
};

} // namespace

void TestFaultWindow::hundredRepliesInOneBurst()
{
    PtyModule module(6);
    Open(6);
    Form->suiNumberEdit_NetID->SetValue(0);
    ArrivalWatch watch(Form.get());
    QTest::mouseClick(Form->btn_ReadAll, Qt::LeftButton);

    std::vector<std::uint8_t> burst;
    for (int i = 1; i <= 100; ++i) {
        const std::vector<std::uint8_t> reply = ReplyBytes(Numbered(i));
        burst.insert(burst.end(), reply.begin(), reply.end());
    }
    QCOMPARE(::write(module.Line().master, burst.data(), burst.size()), ssize_t(burst.size()));

    QTRY_COMPARE(watch.ShownBefore.size(), std::size_t(100));
    QTRY_COMPARE(Form->suiNumberEdit_NetID->Value(), 100.0);
    // Each was handled after the one before it: 0 (before any), 1, ... 99.
    for (int i = 0; i < 100; ++i)
        QCOMPARE(watch.ShownBefore[std::size_t(i)], i);
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("Successful"));
    QCOMPARE(Form->suiNumberEdit_CustID_H->Value(), 18.0);
    QCOMPARE(Form->suiComboBox_RFBW->Text(), QStringLiteral("500K"));
}

// ------------------------------------------------ held by another

using Hold = std::function<int(PseudoTerminal& line)>;
Q_DECLARE_METATYPE(Hold)

void TestFaultWindow::portHeldByAnotherProgram_data()
{
    QTest::addColumn<Hold>("hold");
    QTest::newRow("flock on another descriptor") << Hold([](PseudoTerminal& line) {
        const int fd = ::open(line.slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0)
            qFatal("cannot lock the pty");
        return fd;
    });
    QTest::newRow("exclusive mark") << Hold([](PseudoTerminal& line) {
        if (!line.MarkSlaveExclusive())
            qFatal("cannot mark the pty exclusive");
        return -1;
    });
}

void TestFaultWindow::portHeldByAnotherProgram()
{
    QFETCH(Hold, hold);
    PtyModule module(7);
    QTest::mouseClick(Form->suiButton1, Qt::LeftButton);
    QCOMPARE(Form->suiComboBox_PcPort->Text(), QStringLiteral("COM7"));

    // Taken after the list was built: Open fails and says why.
    const int held = hold(module.Line());
    QTest::mouseClick(Form->suiButton_OpenPort, Qt::LeftButton);
    QCOMPARE(Form->Link()->IsOpen(), 0);
    QCOMPARE(Form->suiStatusBar1->PanelText(0), QStringLiteral("Closed"));
    QCOMPARE(Form->suiButton_OpenPort->Caption(), QStringLiteral("Open"));
    QVERIFY2(Form->suiComboBox_PcPort->toolTip().contains(QStringLiteral("in use by another program")),
             qPrintable(Form->suiComboBox_PcPort->toolTip()));

    // At the next scan it is absent, for the same reason.
    QTest::mouseClick(Form->suiButton1, Qt::LeftButton);
    QCOMPARE(Form->suiComboBox_PcPort->count(), 0);
    QVERIFY2(Form->suiComboBox_PcPort->toolTip().contains(QStringLiteral("in use by another program")),
             qPrintable(Form->suiComboBox_PcPort->toolTip()));
    if (held >= 0)
        ::close(held);
}

// ------------------------------------------------- hostile folder

using Spoil = std::function<void(const QString& folder, const QString& scratch)>;
Q_DECLARE_METATYPE(Spoil)

void TestFaultWindow::hostilePortFolder_data()
{
    QTest::addColumn<Spoil>("spoil");
    QTest::addColumn<bool>("needsRoot");
    // The first two leave a working pty as COM2 in a folder that no longer
    // counts; the rest are links that name no serial device.
    QTest::newRow("folder owned by another user") << Spoil([](const QString& folder, const QString&) {
        if (::chown(qPrintable(folder), 65534, 65534) != 0)
            qFatal("chown failed");
    }) << true;
    QTest::newRow("folder writable by others") << Spoil([](const QString& folder, const QString&) {
        ::chmod(qPrintable(folder), 0707);
    }) << false;
    QTest::newRow("link to a regular file") << Spoil([](const QString&, const QString& scratch) {
        QFile file(scratch + QStringLiteral("/plain"));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot create a plain file");
        file.write("AT\r\n");
        file.close();
        fixture::LinkPort(3, file.fileName());
    }) << false;
    QTest::newRow("link to /dev/null") << Spoil([](const QString&, const QString&) {
        fixture::LinkPort(3, QStringLiteral("/dev/null"));
    }) << false;
    QTest::newRow("link to a directory") << Spoil([](const QString&, const QString& scratch) {
        fixture::LinkPort(3, scratch);
    }) << false;
    QTest::newRow("dangling link") << Spoil([](const QString&, const QString& scratch) {
        fixture::LinkPort(3, scratch + QStringLiteral("/gone"));
    }) << false;
    QTest::newRow("link loop") << Spoil([](const QString& folder, const QString&) {
        fixture::LinkPort(3, folder + QStringLiteral("/COM4"));
        fixture::LinkPort(4, folder + QStringLiteral("/COM3"));
    }) << false;
}

void TestFaultWindow::hostilePortFolder()
{
    QFETCH(Spoil, spoil);
    QFETCH(bool, needsRoot);
    if (needsRoot && ::geteuid() != 0)
        QSKIP("handing a folder to another user needs root");
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    std::unique_ptr<PtyModule> module;
    if (needsRoot || QByteArray(QTest::currentDataTag()).startsWith("folder"))
        module = std::make_unique<PtyModule>(2);
    spoil(fixture::PortFolder(), scratch.path());

    QTest::mouseClick(Form->suiButton1, Qt::LeftButton);
    QCOMPARE(Form->suiComboBox_PcPort->count(), 0);
    QVERIFY(!Form->suiComboBox_PcPort->toolTip().isEmpty());
    QTest::mouseClick(Form->suiButton_OpenPort, Qt::LeftButton);
    QCOMPARE(Form->Link()->IsOpen(), 0);
    QCOMPARE(Form->suiStatusBar1->PanelText(0), QStringLiteral("Closed"));
    // Asked for by number, no entry opens either.
    for (std::uint32_t n = 2; n <= 4; ++n) {
        QCOMPARE(Form->Link()->Open(n, 9600, 0), 0);
        QCOMPARE(Form->Link()->IsOpen(), 0);
    }
}

KESTRIN_WINDOW_TEST_MAIN(TestFaultWindow)
#include "test_fault_window.moc"
