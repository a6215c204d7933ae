#include "Mainunit.h"

#include "PortHints.h"

#include "KestrinConfig.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <QShowEvent>
#include <QTime>
#include <QUrl>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

TMainForm* MainForm = nullptr;

namespace {

class NotifyEvent : public QEvent
{
public:
    explicit NotifyEvent(const Notification& n) : QEvent(TMainForm::NotifyEventType()), Message(n) {}
    Notification Message;
};

// Reads a decimal integer the way the C library does: leading white space,
// an optional sign, digits up to the first non-digit; 0 without digits.
long ReadDecimal(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    return std::strtol(bytes.constData(), nullptr, 10);
}

void SetGeometry(QWidget* w, int left, int top, int width, int height)
{
    w->setGeometry(left, top, width, height);
}

void AddItems(TsuiComboBox* list, std::initializer_list<const char*> items)
{
    for (const char* item : items)
        list->AddItem(QString::fromLatin1(item));
}

TsuiComboBox* MakeList(QWidget* parent, const char* name, int left, int top, int width,
                       std::initializer_list<const char*> items, int selected, const QString& spokenName)
{
    auto* list = new TsuiComboBox(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setGeometry(left, top, width, 21);
    AddItems(list, items);
    list->SetItemIndex(selected);
    if (!spokenName.isEmpty())
        list->setAccessibleName(spokenName);
    return list;
}

// `background` is a style-sheet rule that colours the edit's text field.
TsuiNumberEdit* MakeNumberEdit(QWidget* parent, const char* name, const QString& mask, double value,
                               QRect geometry, const QString& background, const QString& spokenName)
{
    auto* edit = new TsuiNumberEdit(mask, value, parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(geometry);
    edit->setStyleSheet(edit->styleSheet() + background);
    edit->setAccessibleName(spokenName);
    return edit;
}

} // namespace

QEvent::Type TMainForm::NotifyEventType()
{
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

TMainForm::TMainForm(QObject* Owner)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint)
{
    Q_UNUSED(Owner);
    setObjectName(QStringLiteral("MainForm"));
    LoadFormResource();

    ReplyMessageId = RegisterMessage(ReplyMessageName);
    LostMessageId = RegisterMessage(LostMessageName);
    ModuleLink = new KestrinSerial();
    ModuleLink->SetNotifyTarget(this, ReplyMessageId);
    ReplyTimeoutTicks = -1;

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

TMainForm::~TMainForm()
{
    FormDestroy(this);
}

void TMainForm::LoadFormResource()
{
    setWindowTitle(QStringLiteral("Kestrin v3.1"));
    setFixedSize(389, 322);
    setFont(sui::FormFont());
    {
        QPalette p = palette();
        p.setColor(QPalette::WindowText, Qt::black);
        p.setColor(QPalette::Window, QColor(sui::BodyColour));
        setPalette(p);
    }
    QPixmap appIcon(QStringLiteral(":/kestrin/icons/kestrin-16.png"));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/kestrin/icons/kestrin-%1.png").arg(size), QSize(size, size));
    if (!icon.isNull())
        setWindowIcon(icon);

    auto named = [](auto* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };

    suiForm1 = named(new TsuiForm(this), "suiForm1");
    SetGeometry(suiForm1, 0, 0, 389, 322);
    suiForm1->SetCaption(QStringLiteral("Kestrin v3.1"));
    suiForm1->SetIcon(appIcon);

    suiStatusBar1 = named(new TsuiStatusBar(suiForm1), "suiStatusBar1");
    SetGeometry(suiStatusBar1, 0, 301, 389, 21);

    // Usart
    suiGroupBox1 = named(new TsuiGroupBox(QStringLiteral("Usart"), suiForm1), "suiGroupBox1");
    SetGeometry(suiGroupBox1, 0, 24, 129, 108);
    suiButton_OpenPort = named(new TsuiButton(QStringLiteral("Open"), suiGroupBox1), "suiButton_OpenPort");
    SetGeometry(suiButton_OpenPort, 7, 84, 54, 17);
    suiComboBox_PcPort = named(new TsuiComboBox(suiGroupBox1), "suiComboBox_PcPort");
    SetGeometry(suiComboBox_PcPort, 66, 10, 57, 21);
    suiComboBox_PcPort->setAccessibleName(QStringLiteral("Com:"));
    suiComboBox_PcBaudRate = MakeList(suiGroupBox1, "suiComboBox_PcBaudRate", 66, 34, 57,
                                      {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"}, 3, QStringLiteral("BaudRate:"));
    suiComboBox_PcParity = MakeList(suiGroupBox1, "suiComboBox_PcParity", 66, 58, 57,
                                    {"NO", "ODD", "EVEN"}, 0, QStringLiteral("Parity:"));
    Label1 = named(new TLabel(QStringLiteral("BaudRate:"), suiGroupBox1), "Label1");
    SetGeometry(Label1, 5, 36, 57, 19);
    Label2 = named(new TLabel(QStringLiteral("Parity:"), suiGroupBox1), "Label2");
    SetGeometry(Label2, 5, 56, 49, 21);

    // RF_frequency
    suiGroupBox2 = named(new TsuiGroupBox(QStringLiteral("RF_frequency"), suiForm1), "suiGroupBox2");
    SetGeometry(suiGroupBox2, 136, 24, 113, 40);
    suiNumberEdit_RfFrequency = MakeNumberEdit(suiGroupBox2, "suiNumberEdit_RfFrequency", QStringLiteral("0.00"), 434, {7, 19, 42, 17},
                                               QStringLiteral(" QLineEdit { background-color: rgb(192,220,192); }"),
                                               QStringLiteral("RF_frequency MHz"));
    Label3 = named(new TLabel(QStringLiteral("MHz"), suiGroupBox2), "Label3");
    SetGeometry(Label3, 53, 20, 41, 15);

    // RF_Factor
    suiGroupBox3 = named(new TsuiGroupBox(QStringLiteral("RF_Factor"), suiForm1), "suiGroupBox3");
    SetGeometry(suiGroupBox3, 264, 24, 121, 41);
    suiComboBox_RfFactor = MakeList(suiGroupBox3, "suiComboBox_RfFactor", 8, 16, 57,
                                    {"128", "256", "512", "1024", "2048", "4096"}, 4, QStringLiteral("RF_Factor Chips"));
    Label4 = named(new TLabel(QStringLiteral("Chips"), suiGroupBox3), "Label4");
    SetGeometry(Label4, 72, 17, 33, 19);

    // Rf_Mode, and the RF_Mode box laid over it
    suiGroupBox4 = named(new TsuiGroupBox(QStringLiteral("Rf_Mode"), suiForm1), "suiGroupBox4");
    SetGeometry(suiGroupBox4, 136, 72, 113, 57);
    Label5 = named(new TLabel(QStringLiteral("Mode"), suiGroupBox4), "Label5");
    SetGeometry(Label5, 77, 26, 33, 19);
    suiComboBox_RfMode = MakeList(suiGroupBox4, "suiComboBox_RfMode", 8, 24, 65,
                                  {"Standard", "Central", "Node"}, 0, QString());
    // Covered by suiGroupBox10: a list nobody can see takes no focus.
    suiComboBox_RfMode->setFocusPolicy(Qt::NoFocus);

    // RF_BW
    suiGroupBox5 = named(new TsuiGroupBox(QStringLiteral("RF_BW"), suiForm1), "suiGroupBox5");
    SetGeometry(suiGroupBox5, 264, 72, 121, 57);
    Label6 = named(new TLabel(QStringLiteral("Kbs"), suiGroupBox5), "Label6");
    SetGeometry(Label6, 71, 26, 41, 19);
    suiComboBox_RFBW = MakeList(suiGroupBox5, "suiComboBox_RFBW", 10, 23, 57,
                                {"62.5K", "125K", "250K", "500K"}, 1, QStringLiteral("RF_BW Kbs"));

    // Serial Port Configuration (the module's own UART)
    suiGroupBox6 = named(new TsuiGroupBox(QStringLiteral("Serial Port Configuration"), suiForm1), "suiGroupBox6");
    SetGeometry(suiGroupBox6, 136, 190, 249, 57);
    Label7 = named(new TLabel(QStringLiteral("BaudRate"), suiGroupBox6), "Label7");
    SetGeometry(Label7, 5, 21, 65, 19);
    suiComboBox_McuBaudRate = MakeList(suiGroupBox6, "suiComboBox_McuBaudRate", 80, 20, 65,
                                       {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"}, 3, QStringLiteral("Module BaudRate"));
    suiComboBox_McuParity = MakeList(suiGroupBox6, "suiComboBox_McuParity", 194, 20, 49,
                                     {"NO", "ODD", "EVEN"}, 0, QStringLiteral("Module Parity"));
    Label8 = named(new TLabel(QStringLiteral("Parity"), suiGroupBox6), "Label8");
    SetGeometry(Label8, 160, 21, 41, 19);
    {
        QPalette p = Label8->palette();
        p.setColor(QPalette::Window, QColor(sui::BodyColour));
        Label8->setPalette(p);
        Label8->setAutoFillBackground(true);
    }

    // Power
    suiGroupBox7 = named(new TsuiGroupBox(QStringLiteral("Power"), suiForm1), "suiGroupBox7");
    SetGeometry(suiGroupBox7, 328, 141, 57, 41);
    suiComboBox_Power = MakeList(suiGroupBox7, "suiComboBox_Power", 4, 16, 49,
                                 {"1", "2", "3", "4", "5", "6", "7"}, 6, QStringLiteral("Power"));

    // Node ID
    suiGroupBox8 = named(new TsuiGroupBox(QStringLiteral("Node ID"), suiForm1), "suiGroupBox8");
    SetGeometry(suiGroupBox8, 136, 141, 113, 41);
    const QString idColour = QStringLiteral(" QLineEdit { background-color: rgb(185,209,234); }");
    suiNumberEdit_CustID_H = MakeNumberEdit(suiGroupBox8, "suiNumberEdit_CustID_H", QStringLiteral("0"), 0, {8, 14, 41, 19},
                                            idColour,
                                            QStringLiteral("Node ID high"));

    // Net ID
    suiGroupBox9 = named(new TsuiGroupBox(QStringLiteral("Net ID"), suiForm1), "suiGroupBox9");
    SetGeometry(suiGroupBox9, 264, 141, 57, 41);
    suiNumberEdit_NetID = MakeNumberEdit(suiGroupBox9, "suiNumberEdit_NetID", QStringLiteral("0"), 0, {10, 14, 39, 19},
                                         idColour,
                                         QStringLiteral("Net ID"));

    suiNumberEdit_CustID_L = MakeNumberEdit(suiGroupBox8, "suiNumberEdit_CustID_L", QStringLiteral("0"), 0, {64, 14, 41, 19},
                                            idColour,
                                            QStringLiteral("Node ID low"));

    btn_WriteAll = named(new TsuiButton(QStringLiteral("Write All"), suiForm1), "btn_WriteAll");
    SetGeometry(btn_WriteAll, 144, 264, 97, 25);
    btn_ReadAll = named(new TsuiButton(QStringLiteral("Read All"), suiForm1), "btn_ReadAll");
    SetGeometry(btn_ReadAll, 272, 262, 97, 27);

    img1 = named(new TsuiImagePanel(QStringLiteral(":/kestrin/img1.jpg"), suiForm1), "img1");
    SetGeometry(img1, 2, 136, 131, 96);
    img1->setAccessibleName(QStringLiteral("Kestrin module"));

    tmr1 = named(new TTimer(this), "tmr1");
    tmr1->SetEnabled(false);

    img2 = named(new TsuiImagePanel(QStringLiteral(":/kestrin/img2.jpg"), suiForm1), "img2");
    SetGeometry(img2, -1, 235, 135, 61);
    {
        QPalette p = img2->palette();
        p.setColor(QPalette::Window, QColor(sui::PictureRed));
        img2->setPalette(p);
        img2->setAutoFillBackground(true);
    }
    img2->setCursor(Qt::ArrowCursor);
    img2->SetClickable(true);
    img2->setAccessibleName(QStringLiteral("Kestrin home page"));
    img2->setAccessibleDescription(QStringLiteral(KESTRIN_HOMEPAGE));
    img2->setToolTip(QStringLiteral(KESTRIN_HOMEPAGE));

    suiGroupBox10 = named(new TsuiGroupBox(QStringLiteral("RF_Mode"), suiGroupBox4), "suiGroupBox10");
    SetGeometry(suiGroupBox10, 0, 0, 113, 57);
    Label9 = named(new TLabel(QStringLiteral("Mode"), suiGroupBox10), "Label9");
    SetGeometry(Label9, 77, 26, 33, 19);
    suiComboBox1 = MakeList(suiGroupBox10, "suiComboBox1", 8, 24, 65,
                            {"Normal", "Saving"}, 0, QStringLiteral("RF_Mode Mode"));

    suiButton1 = named(new TsuiButton(QStringLiteral("Refresh"), suiGroupBox1), "suiButton1");
    SetGeometry(suiButton1, 66, 84, 54, 18);
    Label10 = named(new TLabel(QStringLiteral("Com:"), suiGroupBox1), "Label10");
    Label10->move(5, 16);
    Label10->adjustSize();

    Label1->setBuddy(suiComboBox_PcBaudRate);
    Label2->setBuddy(suiComboBox_PcParity);
    Label10->setBuddy(suiComboBox_PcPort);

    // Labels paint on their parent beneath every control, as the form
    // designer's labels do: where a label and a list overlap, the list wins.
    for (TLabel* label : findChildren<TLabel*>())
        label->lower();

    SetTabOrder();

    suiButton_OpenPort->OnClick = [this](QObject* s) { suiButton_OpenPortClick(s); };
    suiButton1->OnClick = [this](QObject* s) { suiButton1Click(s); };
    btn_WriteAll->OnClick = [this](QObject* s) { btn_WriteAllClick(s); };
    btn_ReadAll->OnClick = [this](QObject* s) { btn_ReadAllClick(s); };
    img2->OnClick = [this](QObject* s) { img2Click(s); };
    tmr1->OnTimer = [this](QObject* s) { tmr1Timer(s); };
    suiNumberEdit_RfFrequency->OnChange = [this](QObject* s) { suiNumberEdit_RfFrequencyChange(s); };
    suiNumberEdit_CustID_H->OnChange = [this](QObject* s) { suiNumberEdit_CustID_HChange(s); };
    suiNumberEdit_CustID_L->OnChange = [this](QObject* s) { suiNumberEdit_CustID_LChange(s); };
    suiNumberEdit_NetID->OnChange = [this](QObject* s) { suiNumberEdit_NetIDChange(s); };
}

void TMainForm::SetTabOrder()
{
    // Depth first, each parent's children by their tab order.
    QWidget* chain[] = {
        suiButton_OpenPort, suiComboBox_PcPort, suiComboBox_PcBaudRate, suiComboBox_PcParity, suiButton1,
        suiNumberEdit_RfFrequency,
        suiComboBox_RfFactor,
        suiComboBox1,
        suiComboBox_RFBW,
        suiComboBox_McuBaudRate, suiComboBox_McuParity,
        suiComboBox_Power,
        suiNumberEdit_CustID_H, suiNumberEdit_CustID_L,
        suiNumberEdit_NetID,
        btn_WriteAll, btn_ReadAll,
        img2,
    };
    for (std::size_t i = 1; i < std::size(chain); ++i)
        setTabOrder(chain[i - 1], chain[i]);
}

// ------------------------------------------------------------------ show

void TMainForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (Shown || event->spontaneous())
        return;
    Shown = true;
    FormShow(this);
}

void TMainForm::FormShow(QObject* Sender)
{
    Q_UNUSED(Sender);
    ScanPorts();
    SetStatusText(QStringLiteral("Closed"), 0);
    suiComboBox_PcPort->setEnabled(true);
    suiComboBox_PcBaudRate->setEnabled(true);
    suiComboBox_PcParity->setEnabled(true);
    btn_WriteAll->setEnabled(false);
    btn_ReadAll->setEnabled(false);
    suiButton_OpenPort->SetCaption(QStringLiteral("Open"));
    SetStatusText(TimeOfDay(), 2);
    tmr1->SetEnabled(true);
}

void TMainForm::ScanPorts()
{
    // ProbePort answers what IsPortPresent answers, and says why a device
    // that exists did not open, for the tooltip when nothing is found.
    std::optional<SerialFailure> firstRefused;
    for (std::uint32_t n = 1; n <= 255; ++n) {
        const PortProbe probe = ProbePort(n);
        if (probe.present) {
            suiComboBox_PcPort->AddItem(QStringLiteral("COM%1").arg(n));
            suiComboBox_PcPort->setItemData(suiComboBox_PcPort->ItemCount() - 1,
                                            PortEntryToolTip(DescribePort(n)), Qt::ToolTipRole);
        } else if (!firstRefused && (probe.failure.error == SerialError::Permission
                                     || probe.failure.error == SerialError::Busy)) {
            // Built-in UARTs without hardware fail too; only a refusal is
            // worth telling the operator about.
            firstRefused = probe.failure;
        }
    }
    if (suiComboBox_PcPort->ItemCount() > 0) {
        suiComboBox_PcPort->SetItemIndex(0);
        SetPortListWhy(QString());
    } else {
        SetPortListWhy(NoPortSentence(firstRefused ? &*firstRefused : nullptr));
    }
}

void TMainForm::suiButton1Click(QObject* Sender)
{
    Q_UNUSED(Sender);
    suiComboBox_PcPort->Clear();
    ScanPorts();
}

void TMainForm::SetPortListWhy(const QString& why)
{
    if (!why.isEmpty()) {
        suiComboBox_PcPort->setToolTip(why);
        suiComboBox_PcPort->setAccessibleDescription(why);
        return;
    }
    const int index = suiComboBox_PcPort->ItemIndex();
    const QString entry = index < 0 ? QString() : suiComboBox_PcPort->itemData(index, Qt::ToolTipRole).toString();
    suiComboBox_PcPort->setToolTip(entry);
    suiComboBox_PcPort->setAccessibleDescription(entry);
}

// --------------------------------------------------------- connection

void TMainForm::suiButton_OpenPortClick(QObject* Sender)
{
    Q_UNUSED(Sender);
    if (ModuleLink->IsOpen() != 0) {
        ModuleLink->Close();
    } else {
        const QString entry = suiComboBox_PcPort->Text();
        const qsizetype k = entry.indexOf(u'M') + 1;  // 1-based, 0 for none
        const QString number = entry.mid(k, entry.size() - k);
        const auto port = static_cast<std::uint32_t>(ReadDecimal(number));
        const auto baud = static_cast<std::uint32_t>(ReadDecimal(suiComboBox_PcBaudRate->Text()));
        const std::int32_t parity = suiComboBox_PcParity->ItemIndex();
        ModuleLink->OpenOrReconfigure(port, baud, parity);
        if (ModuleLink->IsOpen() == 0)
            SetPortListWhy(FailureSentence(ModuleLink->LastFailure(),
                                           QStringLiteral("COM%1 did not open.").arg(port)));
        else
            SetPortListWhy(QString());
    }
    ShowConnectionState();
}

void TMainForm::ShowConnectionState()
{
    if (ModuleLink->IsOpen() != 0)
        ShowOpenedState();
    else
        ShowClosedState();
}

void TMainForm::ShowOpenedState()
{
    SetStatusText(QStringLiteral("Opened"), 0);
    suiComboBox_PcPort->setEnabled(false);
    suiComboBox_PcBaudRate->setEnabled(false);
    suiComboBox_PcParity->setEnabled(false);
    btn_WriteAll->setEnabled(true);
    btn_ReadAll->setEnabled(true);
    suiButton1->setEnabled(false);
    suiButton_OpenPort->SetCaption(QStringLiteral("Close"));
}

void TMainForm::ShowClosedState()
{
    SetStatusText(QStringLiteral("Closed"), 0);
    suiComboBox_PcPort->setEnabled(true);
    suiComboBox_PcBaudRate->setEnabled(true);
    suiComboBox_PcParity->setEnabled(true);
    btn_WriteAll->setEnabled(false);
    btn_ReadAll->setEnabled(false);
    suiButton1->setEnabled(true);
    SetStatusText(QStringLiteral(" "), 1);
    suiButton_OpenPort->SetCaption(QStringLiteral("Open"));
}

// ------------------------------------------------------------ commands

void TMainForm::btn_ReadAllClick(QObject* Sender)
{
    Q_UNUSED(Sender);
    if (ModuleLink->IsOpen() == 0) {
        SetStatusText(QStringLiteral("Fail!"), 1);
        return;
    }
    ModuleLink->SendReadCommand();
    ReplyTimeoutTicks = 0;
    SetStatusText(QStringLiteral("......"), 1);
}

namespace {

// Value truncated toward zero, low eight bits kept.
std::uint8_t IdCode(double value)
{
    if (!std::isfinite(value))
        return 0;
    const double whole = std::trunc(value);
    if (whole <= double(std::numeric_limits<long long>::min()) || whole >= double(std::numeric_limits<long long>::max()))
        return 0;
    return static_cast<std::uint8_t>(static_cast<unsigned long long>(static_cast<long long>(whole)) & 0xFFu);
}

} // namespace

ModuleParams TMainForm::ParamsFromControls() const
{
    ModuleParams p;
    p.RfFrequency = suiNumberEdit_RfFrequency->Value();
    p.RfFactor = static_cast<std::uint8_t>(suiComboBox_RfFactor->ItemIndex() + 7);
    // No selection means the module reported mode 2, which goes back as it came.
    p.RfMode = static_cast<std::uint8_t>(suiComboBox1->ItemIndex() < 0 ? 2 : suiComboBox1->ItemIndex());
    p.RfBw = static_cast<std::uint8_t>(suiComboBox_RFBW->ItemIndex() + 6);
    p.CustID_H = IdCode(suiNumberEdit_CustID_H->Value());
    p.CustID_L = IdCode(suiNumberEdit_CustID_L->Value());
    p.NetID = IdCode(suiNumberEdit_NetID->Value());
    p.Power = static_cast<std::uint8_t>(suiComboBox_Power->ItemIndex() + 1);
    p.McuBaudRate = static_cast<std::uint8_t>(suiComboBox_McuBaudRate->ItemIndex() + 1);
    p.McuParity = static_cast<std::uint8_t>(suiComboBox_McuParity->ItemIndex());
    return p;
}

void TMainForm::btn_WriteAllClick(QObject* Sender)
{
    Q_UNUSED(Sender);
    if (ModuleLink->IsOpen() == 0) {
        SetStatusText(QStringLiteral("Fail!"), 1);
        return;
    }
    const ModuleParams params = ParamsFromControls();
    ModuleLink->SendWriteCommand(&params);
    ReplyTimeoutTicks = 0;
    SetStatusText(QStringLiteral("......"), 1);
}

void TMainForm::tmr1Timer(QObject* Sender)
{
    Q_UNUSED(Sender);
    SetStatusText(TimeOfDay(), 2);
    if (ReplyTimeoutTicks < 0)
        return;
    ReplyTimeoutTicks = ReplyTimeoutTicks + 1;
    if (ReplyTimeoutTicks >= 3) {
        ReplyTimeoutTicks = -1;
        SetStatusText(QStringLiteral("Error:TimeOut!"), 1);
    }
}

QString TMainForm::TimeOfDay() const
{
    return QLocale::system().toString(QTime::currentTime(), QLocale::ShortFormat);
}

// ------------------------------------------------------- notifications

void TMainForm::Post(const Notification& notification) noexcept
{
    try {
        QCoreApplication::postEvent(this, new NotifyEvent(notification));
    } catch (...) {
        // Out of memory: the reply is dropped and the wait times out.
    }
}

bool TMainForm::event(QEvent* e)
{
    return Dispatch(e);
}

bool TMainForm::Dispatch(QEvent* e)
{
    if (e->type() == NotifyEventType()) {
        const Notification& message = static_cast<NotifyEvent*>(e)->Message;
        if (message.message != 0 && message.message == ReplyMessageId)
            HandleReplyMessage(message);
        else if (message.message != 0 && message.message == LostMessageId)
            HandlePortLost();
        return true;
    }
    return QWidget::event(e);
}

void TMainForm::LoadControls(const ModuleParams& p)
{
    suiNumberEdit_RfFrequency->SetValue(p.RfFrequency);
    if (p.RfFactor >= 7 && p.RfFactor <= 12)
        suiComboBox_RfFactor->SetItemIndex(p.RfFactor - 7);
    if (p.RfMode <= 1)
        suiComboBox1->SetItemIndex(p.RfMode);
    else if (p.RfMode == 2)
        suiComboBox1->SetItemIndex(-1);
    if (p.RfBw >= 6 && p.RfBw <= 9)
        suiComboBox_RFBW->SetItemIndex(p.RfBw - 6);
    suiNumberEdit_CustID_H->SetValue(p.CustID_H);
    suiNumberEdit_CustID_L->SetValue(p.CustID_L);
    suiNumberEdit_NetID->SetValue(p.NetID);
    if (p.Power >= 1 && p.Power <= 7)
        suiComboBox_Power->SetItemIndex(p.Power - 1);
    if (p.McuBaudRate >= 1 && p.McuBaudRate <= 8)
        suiComboBox_McuBaudRate->SetItemIndex(p.McuBaudRate - 1);
    else if (p.McuBaudRate == 0)
        suiComboBox_McuBaudRate->SetItemIndex(7);
    if (p.McuParity <= 2)
        suiComboBox_McuParity->SetItemIndex(p.McuParity);
}

void TMainForm::HandleReplyMessage(const Notification& Message)
{
    ReplyTimeoutTicks = -1;
    if (ModuleLink == nullptr)
        return;
    // A reply that failed its checksum carries nothing worth loading.
    if (Message.wparam != 0) {
        SetStatusText(QStringLiteral("Error:CheckSum!"), 1);
        return;
    }
    SetStatusText(QStringLiteral("Successful"), 1);
    LoadControls(Message.params);
}

void TMainForm::HandlePortLost()
{
    if (ModuleLink == nullptr)
        return;
    const SerialFailure why = ModuleLink->LastFailure();
    ModuleLink->Close();
    ShowClosedState();
    SetStatusText(QStringLiteral("Error:PortLost!"), 1);
    SetPortListWhy(FailureSentence(why, QStringLiteral("The port went away: check the adapter and its cable.")));
}

// ------------------------------------------------------- value rules

void TMainForm::suiNumberEdit_RfFrequencyChange(QObject* Sender)
{
    Q_UNUSED(Sender);
    const double value = suiNumberEdit_RfFrequency->Value();
    if (value > 990)
        suiNumberEdit_RfFrequency->SetValue(433);
    else if (value >= 100 && value < 140)
        suiNumberEdit_RfFrequency->SetValue(433);
}

namespace {

void IdRule(TsuiNumberEdit* edit)
{
    if (edit->Value() > 255)
        edit->SetValue(255);
}

} // namespace

void TMainForm::suiNumberEdit_CustID_HChange(QObject* Sender)
{
    Q_UNUSED(Sender);
    IdRule(suiNumberEdit_CustID_H);
}

void TMainForm::suiNumberEdit_CustID_LChange(QObject* Sender)
{
    Q_UNUSED(Sender);
    IdRule(suiNumberEdit_CustID_L);
}

void TMainForm::suiNumberEdit_NetIDChange(QObject* Sender)
{
    Q_UNUSED(Sender);
    IdRule(suiNumberEdit_NetID);
}

// ------------------------------------------------------------- other

void TMainForm::SetStatusText(const QString& text, std::int32_t index)
{
    if (index < 3)
        suiStatusBar1->SetPanelText(index, text);
}

void TMainForm::img2Click(QObject* Sender)
{
    Q_UNUSED(Sender);
    QDesktopServices::openUrl(QUrl(QStringLiteral(KESTRIN_HOMEPAGE)));
}

void TMainForm::FormDestroy(QObject* Sender)
{
    Q_UNUSED(Sender);
    if (tmr1 != nullptr)
        tmr1->SetEnabled(false);
    if (ModuleLink != nullptr) {
        // The link is always deleted through its own type, which is what
        // its non-virtual destructor asks for.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdelete-non-virtual-dtor"
        delete ModuleLink;
#pragma GCC diagnostic pop
        ModuleLink = nullptr;
    }
}
