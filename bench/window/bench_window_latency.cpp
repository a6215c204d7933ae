// Click to "Successful": Read All clicked, the request written to the
// pseudo-terminal, kestrin-sim's answer read by the reader thread, posted
// and shown in panel 1 (goal: under 5 ms).
#include "Application.h"
#include "BenchSupport.h"
#include "Mainunit.h"
#include "SimProcess.h"

#include <memory>

int main(int argc, char** argv)
{
    bench::PrivateRuntime();
    TApplication app(argc, argv);
    SimProcess sim;
    if (!sim.Start(QStringLiteral(KESTRIN_SIM_PATH), {"--port", "1"})) {
        std::fprintf(stderr, "kestrin-sim: %s\n", qPrintable(sim.Error()));
        return 1;
    }
    auto form = std::make_unique<TMainForm>(&app);
    form->show();
    if (!bench::WaitExposed(form.get()))
        return 1;
    form->suiButton_OpenPortClick(form->suiButton_OpenPort);
    if (form->Link()->IsOpen() == 0) {
        std::fprintf(stderr, "COM1 did not open\n");
        return 1;
    }
    std::vector<double> read, write;
    int lost = 0;
    for (int i = 0; i < 400; ++i) {
        TsuiButton* button = (i % 2) ? form->btn_WriteAll : form->btn_ReadAll;
        form->SetStatusText(QString(), 1);
        QElapsedTimer t;
        t.start();
        button->click();
        while (form->suiStatusBar1->PanelText(1) != QLatin1String("Successful")) {
            if (t.elapsed() > 2000) {
                ++lost;
                break;
            }
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        const double ms = double(t.nsecsElapsed()) / 1e6;
        if (i >= 20)  // the first exchanges warm caches and the reader
            ((i % 2) ? write : read).push_back(ms);
    }
    const auto r = bench::Summarise(read);
    const auto w = bench::Summarise(write);
    std::printf("Read All  to \"Successful\" (%zu runs): median %.3f ms, p95 %.3f ms, max %.3f ms (goal < 5 ms)\n",
                read.size(), r.median, r.p95, r.max);
    std::printf("Write All to \"Successful\" (%zu runs): median %.3f ms, p95 %.3f ms, max %.3f ms\n",
                write.size(), w.median, w.p95, w.max);
    std::printf("exchanges without an answer within 2 s: %d\n", lost);
    form.reset();
    return 0;
}
