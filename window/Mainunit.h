// The tool's one window: the port list and connection control, the Read
// All and Write All commands, the display of replies, the clock and the
// reply time-out.
//
// Everything here runs on the window's thread. The module link's reader
// thread reaches the window only through Post, which queues an event
// carrying the notification (with its own copy of the reply) for this
// thread; Dispatch hands it to HandleReplyMessage or to the lost-port
// handler.
#pragma once

#include "KestrinSerial.h"
#include "Notify.h"
#include "SuiWidgets.h"

#include <QEvent>
#include <QWidget>

#include <cstdint>

class TMainForm : public QWidget, public NotifyTarget
{
public:
    // `Owner` is the application object; the window is top-level.
    explicit TMainForm(QObject* Owner = nullptr);
    ~TMainForm() override;

    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // Components, named and ordered as the window resource has them.
    TsuiForm* suiForm1;
    TsuiStatusBar* suiStatusBar1;
    TsuiGroupBox* suiGroupBox1;
    TsuiButton* suiButton_OpenPort;
    TsuiComboBox* suiComboBox_PcPort;
    TsuiComboBox* suiComboBox_PcBaudRate;
    TsuiComboBox* suiComboBox_PcParity;
    TLabel* Label1;
    TLabel* Label2;
    TsuiGroupBox* suiGroupBox2;
    TsuiNumberEdit* suiNumberEdit_RfFrequency;
    TLabel* Label3;
    TsuiGroupBox* suiGroupBox3;
    TsuiComboBox* suiComboBox_RfFactor;
    TLabel* Label4;
    TsuiGroupBox* suiGroupBox4;
    TLabel* Label5;
    TsuiComboBox* suiComboBox_RfMode;
    TsuiGroupBox* suiGroupBox5;
    TLabel* Label6;
    TsuiComboBox* suiComboBox_RFBW;
    TsuiGroupBox* suiGroupBox6;
    TLabel* Label7;
    TsuiComboBox* suiComboBox_McuBaudRate;
    TsuiComboBox* suiComboBox_McuParity;
    TLabel* Label8;
    TsuiGroupBox* suiGroupBox7;
    TsuiComboBox* suiComboBox_Power;
    TsuiGroupBox* suiGroupBox8;
    TsuiNumberEdit* suiNumberEdit_CustID_H;
    TsuiGroupBox* suiGroupBox9;
    TsuiNumberEdit* suiNumberEdit_NetID;
    TsuiNumberEdit* suiNumberEdit_CustID_L;
    TsuiButton* btn_WriteAll;
    TsuiButton* btn_ReadAll;
    TsuiImagePanel* img1;
    TTimer* tmr1;
    TsuiImagePanel* img2;
    TsuiGroupBox* suiGroupBox10;
    TLabel* Label9;
    TsuiComboBox* suiComboBox1;
    TsuiButton* suiButton1;
    TLabel* Label10;

    // Event handlers.
    void FormShow(QObject* Sender);
    void suiButton_OpenPortClick(QObject* Sender);
    void btn_WriteAllClick(QObject* Sender);
    void btn_ReadAllClick(QObject* Sender);
    void tmr1Timer(QObject* Sender);
    void FormDestroy(QObject* Sender);
    void suiNumberEdit_RfFrequencyChange(QObject* Sender);
    void suiNumberEdit_CustID_HChange(QObject* Sender);
    void suiNumberEdit_CustID_LChange(QObject* Sender);
    void suiNumberEdit_NetIDChange(QObject* Sender);
    void img2Click(QObject* Sender);
    void suiButton1Click(QObject* Sender);

    void ScanPorts();
    void SetStatusText(const QString& text, std::int32_t index);
    void HandleReplyMessage(const Notification& Message);

    // The two directions of the mapping between the controls and a
    // parameter record: what Write All sends, and what a reply loads.
    ModuleParams ParamsFromControls() const;
    void LoadControls(const ModuleParams& params);

    // Queues the notification for the window's thread. Any thread.
    void Post(const Notification& notification) noexcept override;

    // Read-only views for tests and benchmarks.
    KestrinSerial* Link() const { return ModuleLink; }
    std::int32_t PendingTicks() const { return ReplyTimeoutTicks; }
    std::uint32_t ReplyMessage() const { return ReplyMessageId; }

    // The event type that carries a notification.
    static QEvent::Type NotifyEventType();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Routes a notification; every other event goes to QWidget::event.
    bool Dispatch(QEvent* event);
    void HandlePortLost();
    void ShowConnectionState();
    void ShowClosedState();
    void ShowOpenedState();
    void SetPortListWhy(const QString& why);
    void LoadFormResource();
    void SetTabOrder();
    QString TimeOfDay() const;

    KestrinSerial* ModuleLink = nullptr;
    std::uint32_t ReplyMessageId = 0;
    std::int32_t ReplyTimeoutTicks = -1;
    std::uint32_t LostMessageId = 0;
    bool Shown = false;
};

// The one window; set when the entry creates it.
extern TMainForm* MainForm;
