// The application object: runs the window's events and shows what any
// handler throws in an error box (the application's title as caption, the
// exception's message as text), then carries on.
#pragma once

#include <QApplication>

#include <exception>
#include <functional>

class TMainForm;

class TApplication : public QApplication
{
public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the exception held by `error`; an object that is not a
    // std::exception is shown with an empty message.
    void ShowException(std::exception_ptr error);

    // Replaces the error box, e.g. in tests so that no modal box waits for
    // a click. Receives the caption and the text; an empty function brings
    // the box back.
    using ErrorBoxFunction = std::function<void(const QString& caption, const QString& text)>;
    static void SetErrorBox(ErrorBoxFunction box);

private:
    // SIGTERM and SIGINT close the main window, so that the program ends
    // the ordinary way (port closed, exit code 0) when a script or a test
    // stops it.
    void WatchStopSignals();
};

// The running application object, or null.
TApplication* Application();

// Shows the current exception through the application object; the widget
// layer calls it from its catch blocks.
void ShowHandlerException();

// The program entry's body: creates the application and the window, runs
// until the window is closed and returns 0, also after an exception at
// start-up. `afterShow`, if given, runs once the window has been shown
// (tests use it to drive the real entry).
int KestrinMain(int argc, char** argv, const std::function<void(TMainForm*)>& afterShow = {});
