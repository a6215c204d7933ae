#include "Application.h"

#include "Mainunit.h"

#include "KestrinConfig.h"

#include <QMessageBox>
#include <QSocketNotifier>

#include <csignal>
#include <memory>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

TApplication::ErrorBoxFunction& ErrorBox()
{
    static TApplication::ErrorBoxFunction box;
    return box;
}

// Written by the signal handler, read by the event loop: the only thing a
// signal handler may safely do is write a byte.
int StopSignalPipe[2] = {-1, -1};

void OnStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(StopSignalPipe[0], &byte, 1);
}

// Start-up ends at the message loop: an exception before it belongs to the
// entry, which ends the program; one inside it is shown and the loop goes on.
bool StartingUp = false;

} // namespace

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setDesktopFileName(QStringLiteral(KESTRIN_APP_ID));
    setApplicationVersion(QStringLiteral(KESTRIN_VERSION));
    WatchStopSignals();
}

TApplication::~TApplication()
{
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
}

TApplication* Application()
{
    return dynamic_cast<TApplication*>(QCoreApplication::instance());
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    if (StartingUp)
        return QApplication::notify(receiver, event);
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(std::current_exception());
        return false;
    }
}

void TApplication::ShowException(std::exception_ptr error)
{
    QString text;
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception& e) {
        text = QString::fromLocal8Bit(e.what());
    } catch (...) {
        // Not an exception object: shown with an empty message.
    }
    const QString caption = applicationDisplayName();
    if (ErrorBox()) {
        ErrorBox()(caption, text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, activeWindow());
    box.exec();
}

void TApplication::SetErrorBox(ErrorBoxFunction box)
{
    ErrorBox() = std::move(box);
}

void TApplication::WatchStopSignals()
{
    if (StopSignalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, StopSignalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(StopSignalPipe[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(StopSignalPipe[1], &byte, 1);
        if (MainForm != nullptr)
            MainForm->close();
        else
            QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    // A parent may start us with these blocked so that an early stop waits
    // until it can be handled the clean way.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    ::pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
}

void ShowHandlerException()
{
    if (TApplication* app = Application()) {
        app->ShowException(std::current_exception());
        return;
    }
    throw;
}

int KestrinMain(int argc, char** argv, const std::function<void(TMainForm*)>& afterShow)
{
    std::unique_ptr<TApplication> app;
    std::unique_ptr<TMainForm> form;
    try {
        StartingUp = true;
        app = std::make_unique<TApplication>(argc, argv);
        form = std::make_unique<TMainForm>(app.get());
        MainForm = form.get();
        form->show();
        if (afterShow)
            afterShow(form.get());
        StartingUp = false;
        app->exec();
    } catch (...) {
        StartingUp = false;
        if (app)
            app->ShowException(std::current_exception());
    }
    // The window goes first: its FormDestroy closes the port and ends the
    // reader while the application object still exists.
    form.reset();
    MainForm = nullptr;
    return 0;
}
