// A whole session in the window against the virtual module on a
// pseudo-terminal: first show, Open, Read All, Write All, Close.
#include "Mainunit.h"
#include "SimProcess.h"
#include "WindowFixture.h"

#include <memory>

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void wholeSession();
    void silentModuleTimesOut();
    void badChecksumFromModule();

private:
    std::unique_ptr<TMainForm> ShowWithSim(SimProcess& sim, const QStringList& options);
};

std::unique_ptr<TMainForm> TestSession::ShowWithSim(SimProcess& sim, const QStringList& options)
{
    fixture::ClearPortFolder();
    if (!sim.Start(QStringLiteral(KESTRIN_SIM_PATH), options)) {
        qWarning("kestrin-sim did not start: %s", qPrintable(sim.Error()));
        return nullptr;
    }
    auto form = std::make_unique<TMainForm>(qApp);
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        return nullptr;
    return form;
}

void TestSession::wholeSession()
{
    SimProcess sim;
    auto form = ShowWithSim(sim, {"--port", "3"});
    QVERIFY(form);
    QCOMPARE(sim.Port, 3u);

    // First show.
    QCOMPARE(form->suiStatusBar1->PanelText(0), QStringLiteral("Closed"));
    QCOMPARE(form->suiStatusBar1->PanelText(1), QString());
    QVERIFY(QLocale::system().toTime(form->suiStatusBar1->PanelText(2), QLocale::ShortFormat).isValid());
    QVERIFY(!form->btn_ReadAll->isEnabled());
    QVERIFY(!form->btn_WriteAll->isEnabled());
    QVERIFY(form->tmr1->Enabled());
    QCOMPARE(form->suiComboBox_PcPort->Text(), QStringLiteral("COM3"));
    QVERIFY(form->suiComboBox_PcPort->itemData(0, Qt::ToolTipRole).toString().contains(sim.Device));

    // Open.
    QTest::mouseClick(form->suiButton_OpenPort, Qt::LeftButton);
    QCOMPARE(form->suiStatusBar1->PanelText(0), QStringLiteral("Opened"));
    QVERIFY(!form->suiComboBox_PcPort->isEnabled());
    QVERIFY(!form->suiComboBox_PcBaudRate->isEnabled());
    QVERIFY(!form->suiComboBox_PcParity->isEnabled());
    QVERIFY(!form->suiButton1->isEnabled());
    QCOMPARE(form->suiButton_OpenPort->Caption(), QStringLiteral("Close"));
    QVERIFY(form->btn_ReadAll->isEnabled());

    // Read All: the module's values replace whatever the controls held.
    form->suiComboBox_Power->SetItemIndex(0);
    form->suiComboBox_RfFactor->SetItemIndex(0);
    form->suiNumberEdit_NetID->SetValue(99);
    form->suiNumberEdit_RfFrequency->SetValue(500);
    QTest::mouseClick(form->btn_ReadAll, Qt::LeftButton);
    QCOMPARE(form->suiStatusBar1->PanelText(1), QStringLiteral("......"));
    QTRY_COMPARE(form->suiStatusBar1->PanelText(1), QStringLiteral("Successful"));
    QCOMPARE(form->PendingTicks(), -1);
    QCOMPARE(form->suiNumberEdit_RfFrequency->text(), QStringLiteral("434.00"));
    QCOMPARE(form->suiComboBox_RfFactor->Text(), QStringLiteral("2048"));
    QCOMPARE(form->suiComboBox1->Text(), QStringLiteral("Normal"));
    QCOMPARE(form->suiComboBox_RFBW->Text(), QStringLiteral("125K"));
    QCOMPARE(form->suiNumberEdit_CustID_H->text(), QStringLiteral("0"));
    QCOMPARE(form->suiNumberEdit_CustID_L->text(), QStringLiteral("0"));
    QCOMPARE(form->suiNumberEdit_NetID->text(), QStringLiteral("0"));
    QCOMPARE(form->suiComboBox_Power->Text(), QStringLiteral("7"));
    QCOMPARE(form->suiComboBox_McuBaudRate->Text(), QStringLiteral("9600"));
    QCOMPARE(form->suiComboBox_McuParity->Text(), QStringLiteral("NO"));

    // Write All with changed controls: the module now holds them.
    form->suiNumberEdit_RfFrequency->SetValue(868.5);
    form->suiComboBox_RfFactor->SetItemIndex(2);      // 512
    form->suiComboBox1->SetItemIndex(1);              // Saving
    form->suiComboBox_RFBW->SetItemIndex(3);          // 500K
    form->suiNumberEdit_CustID_H->SetValue(18);
    form->suiNumberEdit_CustID_L->SetValue(52);
    form->suiNumberEdit_NetID->SetValue(200);
    form->suiComboBox_Power->SetItemIndex(2);         // 3
    form->suiComboBox_McuBaudRate->SetItemIndex(7);   // 115200
    form->suiComboBox_McuParity->SetItemIndex(1);     // ODD
    QTest::mouseClick(form->btn_WriteAll, Qt::LeftButton);
    QCOMPARE(form->suiStatusBar1->PanelText(1), QStringLiteral("......"));
    QTRY_COMPARE(form->suiStatusBar1->PanelText(1), QStringLiteral("Successful"));

    // Scramble the controls and read back what the module holds.
    form->suiComboBox_RfFactor->SetItemIndex(0);
    form->suiComboBox1->SetItemIndex(0);
    form->suiComboBox_RFBW->SetItemIndex(0);
    form->suiNumberEdit_CustID_H->SetValue(1);
    form->suiNumberEdit_CustID_L->SetValue(1);
    form->suiNumberEdit_NetID->SetValue(1);
    form->suiComboBox_Power->SetItemIndex(0);
    form->suiComboBox_McuBaudRate->SetItemIndex(0);
    form->suiComboBox_McuParity->SetItemIndex(0);
    form->suiNumberEdit_RfFrequency->SetValue(434);
    form->SetStatusText(QString(), 1);
    QTest::mouseClick(form->btn_ReadAll, Qt::LeftButton);
    QTRY_COMPARE(form->suiStatusBar1->PanelText(1), QStringLiteral("Successful"));
    QCOMPARE(form->suiNumberEdit_RfFrequency->text(), QStringLiteral("868.50"));
    QCOMPARE(form->suiComboBox_RfFactor->Text(), QStringLiteral("512"));
    QCOMPARE(form->suiComboBox1->Text(), QStringLiteral("Saving"));
    QCOMPARE(form->suiComboBox_RFBW->Text(), QStringLiteral("500K"));
    QCOMPARE(form->suiNumberEdit_CustID_H->text(), QStringLiteral("18"));
    QCOMPARE(form->suiNumberEdit_CustID_L->text(), QStringLiteral("52"));
    QCOMPARE(form->suiNumberEdit_NetID->text(), QStringLiteral("200"));
    QCOMPARE(form->suiComboBox_Power->Text(), QStringLiteral("3"));
    QCOMPARE(form->suiComboBox_McuBaudRate->Text(), QStringLiteral("115200"));
    QCOMPARE(form->suiComboBox_McuParity->Text(), QStringLiteral("ODD"));

    // Close.
    QTest::mouseClick(form->suiButton_OpenPort, Qt::LeftButton);
    QCOMPARE(form->suiStatusBar1->PanelText(0), QStringLiteral("Closed"));
    QCOMPARE(form->suiStatusBar1->PanelText(1), QStringLiteral(" "));
    QCOMPARE(form->suiButton_OpenPort->Caption(), QStringLiteral("Open"));
    QVERIFY(!form->btn_ReadAll->isEnabled());
    QVERIFY(fixture::ShownBoxes().empty());
    form.reset();
    QCOMPARE(sim.Stop(), 0);
}

void TestSession::silentModuleTimesOut()
{
    SimProcess sim;
    auto form = ShowWithSim(sim, {"--port", "2", "--silent"});
    QVERIFY(form);
    QTest::mouseClick(form->suiButton_OpenPort, Qt::LeftButton);
    QCOMPARE(form->Link()->IsOpen(), 1);
    // The timer's own ticks are not awaited: the test drives them.
    form->tmr1->SetEnabled(false);
    QTest::mouseClick(form->btn_ReadAll, Qt::LeftButton);
    form->tmr1Timer(form->tmr1);
    form->tmr1Timer(form->tmr1);
    QCOMPARE(form->suiStatusBar1->PanelText(1), QStringLiteral("......"));
    form->tmr1Timer(form->tmr1);
    QCOMPARE(form->suiStatusBar1->PanelText(1), QStringLiteral("Error:TimeOut!"));
}

void TestSession::badChecksumFromModule()
{
    SimProcess sim;
    auto form = ShowWithSim(sim, {"--port", "2", "--bad-checksum"});
    QVERIFY(form);
    QTest::mouseClick(form->suiButton_OpenPort, Qt::LeftButton);
    form->suiComboBox_Power->SetItemIndex(0);
    QTest::mouseClick(form->btn_ReadAll, Qt::LeftButton);
    QTRY_COMPARE(form->suiStatusBar1->PanelText(1), QStringLiteral("Error:CheckSum!"));
    QCOMPARE(form->PendingTicks(), -1);
    QCOMPARE(form->suiComboBox_Power->Text(), QStringLiteral("1"));
}

KESTRIN_WINDOW_TEST_MAIN(TestSession)
#include "test_session.moc"
