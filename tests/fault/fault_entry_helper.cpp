// Runs the tool's real entry and puts its window in a hard place before it
// is told to stop: "burst" opens the first listed port and asks for a
// reply, so the module's answers are streaming in when the stop comes;
// "blocked-write" opens it, waits for a line on stdin (the test has filled
// the line by then) and clicks Write All, whose write finds no room.
// Prints "open 1" once the port is open and "writing" before the click.
#include "Application.h"
#include "Mainunit.h"

#include <QTimer>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    const char* mode = argc > 1 ? argv[1] : "";
    TApplication::SetErrorBox([](const QString& caption, const QString& text) {
        std::printf("box caption=[%s] text=[%s]\n", qPrintable(caption), qPrintable(text));
        std::fflush(stdout);
    });
    return KestrinMain(argc, argv, [mode](TMainForm* form) {
        form->suiButton_OpenPortClick(form->suiButton_OpenPort);
        std::printf("open %d\n", form->Link()->IsOpen());
        std::fflush(stdout);
        if (std::strcmp(mode, "burst") == 0) {
            form->btn_ReadAllClick(form->btn_ReadAll);
        } else if (std::strcmp(mode, "blocked-write") == 0) {
            // From the running event loop, as a click would come.
            QTimer::singleShot(0, form, [form] {
                char line[16];
                if (std::fgets(line, sizeof line, stdin) == nullptr)
                    return;
                std::printf("writing\n");
                std::fflush(stdout);
                form->btn_WriteAllClick(form->btn_WriteAll);
            });
        }
    });
}
