// Runs the tool's real entry with a hook after the first show, for the
// entry tests and the start-up benchmark: "open-and-close" opens the first
// listed port and closes the window; "shown" says so and closes it;
// "throw" and "throw-int" fail during start-up. Prints what it saw
// on stdout and returns what the entry returns.
#include "Application.h"
#include "Mainunit.h"

#include <QDir>
#include "ProcessFigures.h"

#include <QMetaObject>

#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>

int main(int argc, char** argv)
{
    const char* mode = argc > 1 ? argv[1] : "";
    TApplication::SetErrorBox([](const QString& caption, const QString& text) {
        std::printf("box caption=[%s] text=[%s]\n", qPrintable(caption), qPrintable(text));
        std::fflush(stdout);
    });
    std::optional<std::size_t> threadsBeforeOpen;
    bool opened = false;
    const int result = KestrinMain(argc, argv, [&](TMainForm* form) {
        if (std::strcmp(mode, "throw") == 0)
            throw std::runtime_error("start-up failed");
        if (std::strcmp(mode, "throw-int") == 0)
            throw 7;
        if (std::strcmp(mode, "shown") == 0) {
            std::printf("shown %d ports\n", form->suiComboBox_PcPort->count());
            std::fflush(stdout);
            QMetaObject::invokeMethod(form, [form] { form->close(); }, Qt::QueuedConnection);
            return;
        }
        threadsBeforeOpen = figures::ThreadCount();
        form->suiButton_OpenPortClick(form->suiButton_OpenPort);
        opened = form->Link()->IsOpen() != 0 && figures::ThreadCount() > *threadsBeforeOpen;
        QMetaObject::invokeMethod(form, [form] { form->close(); }, Qt::QueuedConnection);
    });
    if (threadsBeforeOpen) {
        const bool readerEnded = figures::SettledThreadCount(*threadsBeforeOpen) <= *threadsBeforeOpen;
        std::printf("opened=%d reader-ended=%d\n", opened ? 1 : 0, readerEnded ? 1 : 0);
    }
    return result;
}
