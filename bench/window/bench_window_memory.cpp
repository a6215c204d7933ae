// Resident memory of the running window: before the application object,
// with the window shown, and with the port open and a few replies handled.
#include "Application.h"
#include "BenchSupport.h"
#include "Mainunit.h"
#include "SimProcess.h"

#include <memory>

int main(int argc, char** argv)
{
    bench::PrivateRuntime();
    const long bare = bench::ResidentKiB();
    TApplication app(argc, argv);
    const long withApp = bench::ResidentKiB();
    SimProcess sim;
    if (!sim.Start(QStringLiteral(KESTRIN_SIM_PATH), {"--port", "1"})) {
        std::fprintf(stderr, "kestrin-sim: %s\n", qPrintable(sim.Error()));
        return 1;
    }
    auto form = std::make_unique<TMainForm>(&app);
    form->show();
    if (!bench::WaitExposed(form.get()))
        return 1;
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const long shown = bench::ResidentKiB();
    form->suiButton_OpenPortClick(form->suiButton_OpenPort);
    for (int i = 0; i < 50; ++i) {
        form->SetStatusText(QString(), 1);
        form->btn_ReadAll->click();
        QElapsedTimer t;
        t.start();
        while (form->suiStatusBar1->PanelText(1) != QLatin1String("Successful") && t.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    const long working = bench::ResidentKiB();
    std::printf("resident set: process before Qt %ld KiB\n", bare);
    std::printf("resident set: application object  %ld KiB\n", withApp);
    std::printf("resident set: window shown        %ld KiB\n", shown);
    std::printf("resident set: port open, 50 reads %ld KiB\n", working);
    form.reset();
    return 0;
}
