// The main window in a real Qt event loop: layout, port list, connection
// states, the mapping between controls and parameter records, the reply
// wait, the number edits, and exceptions from handlers.
#include "Mainunit.h"
#include "ProcessFigures.h"
#include "WindowFixture.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QImage>
#include <QMenu>
#include <QScreen>
#include <QUrl>

#include "KestrinConfig.h"

#include <memory>
#include <optional>
#include <stdexcept>

using fixture::PtyModule;

namespace {

// One component of the window as the operator should find it.
struct Component {
    const char* name;
    const char* parent;
    QRect geometry;          // height 0: the kind's own height; size 0x0: fits its text
    QStringList text;        // caption, or a list's entries
    QString current;         // a list's selected entry or an edit's text
    int tab;                 // tab order within the parent, -1 none
};

const QStringList Bauds = {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
const QStringList Parities = {"NO", "ODD", "EVEN"};

const std::vector<Component>& Layout()
{
    static const std::vector<Component> rows = {
        {"suiForm1", "MainForm", {0, 0, 389, 322}, {"Kestrin v3.1"}, {}, -1},
        {"suiStatusBar1", "suiForm1", {0, 301, 389, 21}, {}, {}, -1},
        {"suiGroupBox1", "suiForm1", {0, 24, 129, 108}, {"Usart"}, {}, 2},
        {"suiGroupBox2", "suiForm1", {136, 24, 113, 40}, {"RF_frequency"}, {}, 3},
        {"suiGroupBox3", "suiForm1", {264, 24, 121, 41}, {"RF_Factor"}, {}, 4},
        {"suiGroupBox4", "suiForm1", {136, 72, 113, 57}, {"Rf_Mode"}, {}, 5},
        {"suiGroupBox10", "suiGroupBox4", {0, 0, 113, 57}, {"RF_Mode"}, {}, 1},
        {"suiGroupBox5", "suiForm1", {264, 72, 121, 57}, {"RF_BW"}, {}, 6},
        {"suiGroupBox6", "suiForm1", {136, 190, 249, 57}, {"Serial Port Configuration"}, {}, 7},
        {"suiGroupBox7", "suiForm1", {328, 141, 57, 41}, {"Power"}, {}, 8},
        {"suiGroupBox8", "suiForm1", {136, 141, 113, 41}, {"Node ID"}, {}, 9},
        {"suiGroupBox9", "suiForm1", {264, 141, 57, 41}, {"Net ID"}, {}, 10},
        {"Label10", "suiGroupBox1", {5, 16, 0, 0}, {"Com:"}, {}, -1},
        {"Label1", "suiGroupBox1", {5, 36, 57, 19}, {"BaudRate:"}, {}, -1},
        {"Label2", "suiGroupBox1", {5, 56, 49, 21}, {"Parity:"}, {}, -1},
        {"Label3", "suiGroupBox2", {53, 20, 41, 15}, {"MHz"}, {}, -1},
        {"Label4", "suiGroupBox3", {72, 17, 33, 19}, {"Chips"}, {}, -1},
        {"Label5", "suiGroupBox4", {77, 26, 33, 19}, {"Mode"}, {}, -1},
        {"Label9", "suiGroupBox10", {77, 26, 33, 19}, {"Mode"}, {}, -1},
        {"Label6", "suiGroupBox5", {71, 26, 41, 19}, {"Kbs"}, {}, -1},
        {"Label7", "suiGroupBox6", {5, 21, 65, 19}, {"BaudRate"}, {}, -1},
        {"Label8", "suiGroupBox6", {160, 21, 41, 19}, {"Parity"}, {}, -1},
        {"suiComboBox_PcPort", "suiGroupBox1", {66, 10, 57, 0}, {}, "", 1},
        {"suiComboBox_PcBaudRate", "suiGroupBox1", {66, 34, 57, 0}, Bauds, "9600", 2},
        {"suiComboBox_PcParity", "suiGroupBox1", {66, 58, 57, 0}, Parities, "NO", 3},
        {"suiComboBox_RfFactor", "suiGroupBox3", {8, 16, 57, 0}, {"128", "256", "512", "1024", "2048", "4096"}, "2048", 0},
        {"suiComboBox_RfMode", "suiGroupBox4", {8, 24, 65, 0}, {"Standard", "Central", "Node"}, "Standard", 0},
        {"suiComboBox1", "suiGroupBox10", {8, 24, 65, 0}, {"Normal", "Saving"}, "Normal", 0},
        {"suiComboBox_RFBW", "suiGroupBox5", {10, 23, 57, 0}, {"62.5K", "125K", "250K", "500K"}, "125K", 0},
        {"suiComboBox_McuBaudRate", "suiGroupBox6", {80, 20, 65, 0}, Bauds, "9600", 0},
        {"suiComboBox_McuParity", "suiGroupBox6", {194, 20, 49, 0}, Parities, "NO", 1},
        {"suiComboBox_Power", "suiGroupBox7", {4, 16, 49, 0}, {"1", "2", "3", "4", "5", "6", "7"}, "7", 0},
        {"suiNumberEdit_RfFrequency", "suiGroupBox2", {7, 19, 42, 17}, {"0.00"}, "434.00", 0},
        {"suiNumberEdit_CustID_H", "suiGroupBox8", {8, 14, 41, 19}, {"0"}, "0", 0},
        {"suiNumberEdit_CustID_L", "suiGroupBox8", {64, 14, 41, 19}, {"0"}, "0", 1},
        {"suiNumberEdit_NetID", "suiGroupBox9", {10, 14, 39, 19}, {"0"}, "0", 0},
        {"suiButton_OpenPort", "suiGroupBox1", {7, 84, 54, 17}, {"Open"}, {}, 0},
        {"suiButton1", "suiGroupBox1", {66, 84, 54, 18}, {"Refresh"}, {}, 4},
        {"btn_WriteAll", "suiForm1", {144, 264, 97, 25}, {"Write All"}, {}, 11},
        {"btn_ReadAll", "suiForm1", {272, 262, 97, 27}, {"Read All"}, {}, 12},
        {"img1", "suiForm1", {2, 136, 131, 96}, {}, {}, 13},
        {"img2", "suiForm1", {-1, 235, 135, 61}, {}, {}, 14},
    };
    return rows;
}

// Components the keyboard reaches: buttons, the visible lists, the edits
// and the clickable picture. The covered mode list and the picture that
// does nothing are not among them.
bool TakesFocus(const Component& c)
{
    const QString name = QString::fromLatin1(c.name);
    if (name == QLatin1String("suiComboBox_RfMode") || name == QLatin1String("img1"))
        return false;
    return (name.startsWith(QLatin1String("sui")) && !name.startsWith(QLatin1String("suiGroupBox"))
            && !name.startsWith(QLatin1String("suiForm")) && !name.startsWith(QLatin1String("suiStatusBar")))
           || name.startsWith(QLatin1String("btn_")) || name == QLatin1String("img2");
}

void AppendTabChain(const QString& parent, QStringList& chain)
{
    std::vector<const Component*> children;
    for (const Component& c : Layout())
        if (parent == QLatin1String(c.parent) && c.tab >= 0)
            children.push_back(&c);
    std::sort(children.begin(), children.end(), [](auto* a, auto* b) { return a->tab < b->tab; });
    for (const Component* c : children) {
        if (TakesFocus(*c))
            chain << QString::fromLatin1(c->name);
        AppendTabChain(QString::fromLatin1(c->name), chain);
    }
}

QRgb PixelAt(QWidget* w, QPoint at)
{
    return w->grab().toImage().pixel(at);
}

} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT

public slots:
    void OpenUrl(const QUrl& url) { OpenedUrls << url; }

private slots:
    void init();
    void cleanup();

    void layoutMatchesTheTable();
    void tabOrderFollowsTheTable();
    void frameAndColours();
    void closedByAltF4AndSystemMenu();
    void firstShow();
    void statusTextIgnoresIndexThreeAndUp();
    void coveredModeListTakesNoPart();
    void lowerPictureOpensTheHomePage();
    void keyboardPressesButtons();
    void screenReadersReadWhatIsShown();

    void portListInPortNumberOrder();
    void refreshRebuildsTheList();
    void openWithoutPortStaysClosedAndSaysWhy();
    void openAndCloseApplyThePresentations();
    void portTakenByAnotherProgramSaysWhy();

    void replyLoadsEachList_data();
    void replyLoadsEachList();
    void replyFrequencyPassesTheRule_data();
    void replyFrequencyPassesTheRule();
    void writeAllTakesEachList_data();
    void writeAllTakesEachList();
    void writeAllSendsTheDefaults();

    void timeoutOnTheThirdTick();
    void secondCommandRestartsTheCount();
    void commandOnClosedPortFails();
    void lateReplyStillLoads();
    void replyWithoutLinkOnlyEndsTheWait();
    void badChecksumLoadsNothing();
    void modeTwoSurvivesARoundTrip();
    void lostPortIsShown();
    void closingThePortLeavesTheWait();

    void typingIntoNumberEdits_data();
    void typingIntoNumberEdits();
    void numberEditFiltersKeys();
    void leavingAnEdit_data();
    void leavingAnEdit();
    void enteringSelectsLastSigns();
    void pastedNonNumberRestoresAndShowsError();
    void idEditHolding255Sends255();

    void handlerExceptionIsShownAndWindowGoesOn();
    void closingWithPortOpenEndsTheReader();

private:
    void Show();
    void Open(unsigned port);
    void Reply(const ModuleParams& params, std::uintptr_t wparam = 0);
    void EmptyAndType(TsuiNumberEdit* edit, const QString& keys);

    std::unique_ptr<TMainForm> Form;
    QList<QUrl> OpenedUrls;
};

void TestMainForm::init()
{
    fixture::ClearPortFolder();
    fixture::ShownBoxes().clear();
    Form = std::make_unique<TMainForm>(qApp);
}

void TestMainForm::cleanup()
{
    Form.reset();
    fixture::ClearPortFolder();
}

void TestMainForm::Show()
{
    Form->show();
    QVERIFY(QTest::qWaitForWindowExposed(Form.get()));
}

void TestMainForm::Open(unsigned port)
{
    Form->suiButton1Click(Form->suiButton1);
    const int at = Form->suiComboBox_PcPort->findText(QStringLiteral("COM%1").arg(port));
    QVERIFY2(at >= 0, "port not in the list");
    Form->suiComboBox_PcPort->SetItemIndex(at);
    QTest::mouseClick(Form->suiButton_OpenPort, Qt::LeftButton);
    QCOMPARE(Form->Link()->IsOpen(), 1);
}

void TestMainForm::Reply(const ModuleParams& params, std::uintptr_t wparam)
{
    Notification n;
    n.message = Form->ReplyMessage();
    n.wparam = wparam;
    n.params = params;
    Form->Post(n);
    QCoreApplication::sendPostedEvents(Form.get());
}

void TestMainForm::EmptyAndType(TsuiNumberEdit* edit, const QString& keys)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, keys);
}

// ------------------------------------------------------------ layout

void TestMainForm::layoutMatchesTheTable()
{
    QCOMPARE(Form->objectName(), QStringLiteral("MainForm"));
    for (const Component& c : Layout()) {
        const QString name = QString::fromLatin1(c.name);
        auto* w = Form->findChild<QWidget*>(name);
        QVERIFY2(w != nullptr, c.name);
        QCOMPARE(w->parentWidget()->objectName(), QString::fromLatin1(c.parent));
        QRect expected = c.geometry;
        if (expected.width() == 0) {
            expected.setSize(w->sizeHint());
        } else if (expected.height() == 0) {
            expected.setHeight(21);
        }
        QVERIFY2(w->geometry() == expected, qPrintable(name + QStringLiteral(" geometry")));

        if (auto* box = qobject_cast<QGroupBox*>(w)) {
            QCOMPARE(box->title(), c.text.value(0));
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            QCOMPARE(label->text(), c.text.value(0));
        } else if (auto* list = dynamic_cast<TsuiComboBox*>(w)) {
            QStringList items;
            for (int i = 0; i < list->count(); ++i)
                items << list->itemText(i);
            QCOMPARE(items, c.text);
            QCOMPARE(list->Text(), c.current);
            QVERIFY(!list->isEditable());
        } else if (auto* edit = dynamic_cast<TsuiNumberEdit*>(w)) {
            QCOMPARE(edit->Mask(), c.text.value(0));
            QCOMPARE(edit->text(), c.current);
            QVERIFY(edit->alignment() & Qt::AlignRight);
            QCOMPARE(edit->AutoSelectSigns, 2);
        } else if (auto* button = dynamic_cast<TsuiButton*>(w)) {
            QCOMPARE(button->Caption(), c.text.value(0));
        } else if (auto* form = dynamic_cast<TsuiForm*>(w)) {
            QCOMPARE(form->Caption(), c.text.value(0));
        }
    }
    QCOMPARE(Form->tmr1->Enabled(), false);
    QCOMPARE(Form->tmr1->Interval(), 1000);
    QCOMPARE(Form->suiStatusBar1->PanelCount, 3);
    const int widths[] = {120, 160, 60};
    const Qt::Alignment alignments[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignHCenter};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(Form->suiStatusBar1->Panel(i)->width(), widths[i]);
        QVERIFY(Form->suiStatusBar1->Panel(i)->alignment() & alignments[i]);
        QCOMPARE(Form->suiStatusBar1->PanelText(i), QString());
    }
    // The covering box is above the box it covers, so it is what one sees.
    QCOMPARE(Form->suiGroupBox4->childAt(30, 30)->objectName().isEmpty()
                 ? Form->suiGroupBox4->childAt(30, 30)->parentWidget()->objectName()
                 : Form->suiGroupBox4->childAt(30, 30)->objectName(),
             QStringLiteral("suiComboBox1"));
    QCOMPARE(Form->PendingTicks(), -1);
}

void TestMainForm::tabOrderFollowsTheTable()
{
    QStringList expected;
    AppendTabChain(QStringLiteral("suiForm1"), expected);

    QStringList actual;
    QWidget* start = Form->suiButton_OpenPort;
    QWidget* w = start;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && w->window() == Form.get() && w->isVisibleTo(Form.get()))
            actual << w->objectName();
        w = w->nextInFocusChain();
    } while (w != start);
    QCOMPARE(actual, expected);
    QVERIFY(!(Form->suiComboBox_RfMode->focusPolicy() & Qt::TabFocus));
}

void TestMainForm::frameAndColours()
{
    Show();
    QCOMPARE(Form->windowTitle(), QStringLiteral("Kestrin v3.1"));
    QCOMPARE(Form->size(), QSize(389, 322));
    QCOMPARE(Form->minimumSize(), Form->maximumSize());
    QVERIFY(Form->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(!(Form->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QLabel* caption = Form->suiForm1->CaptionLabel();
    QCOMPARE(caption->text(), QStringLiteral("Kestrin v3.1"));
    QVERIFY(caption->font().bold());
    QCOMPARE(caption->font().pixelSize(), 11);
    QVERIFY(caption->geometry().bottom() < TsuiForm::TitleBarHeight);
    QVERIFY(Form->suiForm1->CloseButton()->geometry().top() == 2);
    QVERIFY(Form->suiForm1->ControlBoxButton()->geometry().top() == 2);
    QCOMPARE(Form->suiButton_OpenPort->font().pixelSize(), 11);

    // Centred on the desktop.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QVERIFY(qAbs(Form->frameGeometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(Form->frameGeometry().center().y() - screen.center().y()) <= 1);

    QCOMPARE(QColor(PixelAt(Form->suiForm1, {200, 297})), QColor(251, 251, 251));
    QCOMPARE(QColor(PixelAt(Form->suiForm1, {0, 150})), QColor(Qt::black));
    QCOMPARE(QColor(PixelAt(Form->suiComboBox_RfFactor, {5, 15})), QColor(0, 255, 0));
    QCOMPARE(QColor(PixelAt(Form->suiNumberEdit_RfFrequency, {3, 3})), QColor(192, 220, 192));
    QCOMPARE(QColor(PixelAt(Form->suiComboBox_RfFactor, {0, 10})), QColor(Qt::black));

    // The close button closes the window.
    QTest::mouseClick(Form->suiForm1->CloseButton(), Qt::LeftButton);
    QTRY_VERIFY(!Form->isVisible());
}

void TestMainForm::closedByAltF4AndSystemMenu()
{
    Show();
    QApplication::setActiveWindow(Form.get());
    QVERIFY(QTest::qWaitForWindowActive(Form.get()));
    QTest::keyClick(Form.get(), Qt::Key_F4, Qt::AltModifier);
    QTRY_VERIFY(!Form->isVisible());

    Form->show();
    QVERIFY(QTest::qWaitForWindowExposed(Form.get()));
    QMenu* menu = Form->suiForm1->SystemMenu();
    QStringList entries;
    QAction* close = nullptr;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator())
            continue;
        entries << QString(a->text()).remove(u'&') + (a->isEnabled() ? "" : " (off)");
        if (a->text() == QLatin1String("&Close"))
            close = a;
    }
    QCOMPARE(entries, (QStringList{"Restore (off)", "Move", "Minimize (off)", "Maximize (off)", "Close"}));
    QVERIFY(close);
    close->trigger();
    QTRY_VERIFY(!Form->isVisible());
    // Showing again is not a first show.
    Form->SetStatusText(QStringLiteral("x"), 0);
    Form->show();
    QCOMPARE(Form->suiStatusBar1->PanelText(0), QStringLiteral("x"));
}

void TestMainForm::firstShow()
{
    Show();
    QCOMPARE(Form->suiStatusBar1->PanelText(0), QStringLiteral("Closed"));
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QString());
    const QString clock = Form->suiStatusBar1->PanelText(2);
    QVERIFY(QLocale::system().toTime(clock, QLocale::ShortFormat).isValid());
    QVERIFY(!Form->btn_ReadAll->isEnabled());
    QVERIFY(!Form->btn_WriteAll->isEnabled());
    QVERIFY(Form->suiButton1->isEnabled());
    QVERIFY(Form->suiComboBox_PcPort->isEnabled());
    QCOMPARE(Form->suiButton_OpenPort->Caption(), QStringLiteral("Open"));
    QVERIFY(Form->tmr1->Enabled());
    QCOMPARE(Form->tmr1->Interval(), 1000);
    // The status texts are real labels: what a screen reader reads is what is shown.
    QCOMPARE(Form->suiStatusBar1->Panel(0)->text(), QStringLiteral("Closed"));
}

void TestMainForm::statusTextIgnoresIndexThreeAndUp()
{
    Show();
    Form->SetStatusText(QStringLiteral("a"), 0);
    Form->SetStatusText(QStringLiteral("b"), 1);
    Form->SetStatusText(QStringLiteral("c"), 2);
    Form->SetStatusText(QStringLiteral("x"), 3);
    Form->SetStatusText(QStringLiteral("y"), 1000);
    QCOMPARE(Form->suiStatusBar1->PanelText(0), QStringLiteral("a"));
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("b"));
    QCOMPARE(Form->suiStatusBar1->PanelText(2), QStringLiteral("c"));
    Form->SetStatusText(QStringLiteral("z"), 1);
    QCOMPARE(Form->suiStatusBar1->PanelText(0), QStringLiteral("a"));
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("z"));
    QCOMPARE(Form->suiStatusBar1->PanelText(2), QStringLiteral("c"));
}

void TestMainForm::coveredModeListTakesNoPart()
{
    Form->suiComboBox1->SetItemIndex(1);
    QCOMPARE(Form->suiComboBox_RfMode->Text(), QStringLiteral("Standard"));
    Form->suiComboBox_RfMode->SetItemIndex(2);
    QCOMPARE(Form->ParamsFromControls().RfMode, 1);
    Reply(fixture::DistinctParams());
    QCOMPARE(Form->suiComboBox_RfMode->Text(), QStringLiteral("Node"));
}

void TestMainForm::lowerPictureOpensTheHomePage()
{
    Show();
    const QUrl home(QStringLiteral(KESTRIN_HOMEPAGE));
    QDesktopServices::setUrlHandler(home.scheme(), this, "OpenUrl");
    const QString before = Form->suiStatusBar1->PanelText(1);
    QTest::mouseClick(Form->img1, Qt::LeftButton);
    QVERIFY(OpenedUrls.isEmpty());
    QTest::mouseClick(Form->img2, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(home.scheme());
    QCOMPARE(OpenedUrls, QList<QUrl>{home});
    QCOMPARE(Form->suiStatusBar1->PanelText(1), before);
    QVERIFY(fixture::ShownBoxes().empty());
    OpenedUrls.clear();
}

void TestMainForm::keyboardPressesButtons()
{
    Show();
    PtyModule module(4);
    Form->suiButton1->setFocus();
    QTest::keyClick(Form->suiButton1, Qt::Key_Space);
    QCOMPARE(Form->suiComboBox_PcPort->Text(), QStringLiteral("COM4"));
    Form->suiButton_OpenPort->setFocus();
    QTest::keyClick(Form->suiButton_OpenPort, Qt::Key_Return);
    QTRY_COMPARE(Form->suiButton_OpenPort->Caption(), QStringLiteral("Close"));
    Form->btn_ReadAll->setFocus();
    QTest::keyClick(Form->btn_ReadAll, Qt::Key_Space);
    Frame frame;
    QVERIFY(module.ReadFrame(frame));
    QCOMPARE(frame[6], CommandRead);
}

void TestMainForm::screenReadersReadWhatIsShown()
{
    PtyModule module(1);
    Show();
    auto text = [](QObject* o, QAccessible::Text t) {
        QAccessibleInterface* i = QAccessible::queryAccessibleInterface(o);
        return i ? i->text(t) : QStringLiteral("<none>");
    };
    auto role = [](QObject* o) {
        QAccessibleInterface* i = QAccessible::queryAccessibleInterface(o);
        return i ? i->role() : QAccessible::NoRole;
    };
    QCOMPARE(text(Form->suiStatusBar1->Panel(0), QAccessible::Name), QStringLiteral("Closed"));
    QCOMPARE(role(Form->suiStatusBar1), QAccessible::StatusBar);
    QCOMPARE(text(Form->suiForm1->CaptionLabel(), QAccessible::Name), QStringLiteral("Kestrin v3.1"));
    QCOMPARE(text(Form->suiGroupBox2, QAccessible::Name), QStringLiteral("RF_frequency"));
    QCOMPARE(text(Form->suiNumberEdit_RfFrequency, QAccessible::Value), QStringLiteral("434.00"));
    QCOMPARE(text(Form->suiComboBox_RfFactor, QAccessible::Name), QStringLiteral("2048"));
    QCOMPARE(text(Form->suiComboBox_PcPort, QAccessible::Name), QStringLiteral("COM1"));
    QCOMPARE(text(Form->suiButton_OpenPort, QAccessible::Name), QStringLiteral("Open"));

    // The clickable picture is a button that an accessibility tool can press.
    QCOMPARE(role(Form->img2), QAccessible::Button);
    QCOMPARE(role(Form->img1), QAccessible::Graphic);
    const QUrl home(QStringLiteral(KESTRIN_HOMEPAGE));
    QDesktopServices::setUrlHandler(home.scheme(), this, "OpenUrl");
    QAccessible::queryAccessibleInterface(Form->img2)->actionInterface()->doAction(
        QAccessibleActionInterface::pressAction());
    QDesktopServices::unsetUrlHandler(home.scheme());
    QCOMPARE(OpenedUrls, QList<QUrl>{home});
    OpenedUrls.clear();

    // Pressing a button through accessibility runs its handler.
    QAccessible::queryAccessibleInterface(Form->suiButton_OpenPort)->actionInterface()->doAction(
        QAccessibleActionInterface::pressAction());
    QTRY_COMPARE(text(Form->suiStatusBar1->Panel(0), QAccessible::Name), QStringLiteral("Opened"));
}

// --------------------------------------------------------- port list

void TestMainForm::portListInPortNumberOrder()
{
    PtyModule a(12), b(1), c(3), tooHigh(256);
    Show();
    QStringList entries;
    for (int i = 0; i < Form->suiComboBox_PcPort->count(); ++i)
        entries << Form->suiComboBox_PcPort->itemText(i);
    QCOMPARE(entries, (QStringList{"COM1", "COM3", "COM12"}));
    QCOMPARE(Form->suiComboBox_PcPort->ItemIndex(), 0);
    // Each entry says which device it opens.
    for (int i = 0; i < entries.size(); ++i)
        QVERIFY(!Form->suiComboBox_PcPort->itemData(i, Qt::ToolTipRole).toString().isEmpty());
}

void TestMainForm::refreshRebuildsTheList()
{
    Show();
    QCOMPARE(Form->suiComboBox_PcPort->count(), 0);
    QCOMPARE(Form->suiComboBox_PcPort->ItemIndex(), -1);
    QVERIFY(!Form->suiComboBox_PcPort->toolTip().isEmpty());

    auto first = std::make_unique<PtyModule>(2);
    PtyModule second(5);
    Form->SetStatusText(QStringLiteral("kept"), 1);
    QTest::mouseClick(Form->suiButton1, Qt::LeftButton);
    QCOMPARE(Form->suiComboBox_PcPort->count(), 2);
    Form->suiComboBox_PcPort->SetItemIndex(1);
    QTest::mouseClick(Form->suiButton1, Qt::LeftButton);
    QCOMPARE(Form->suiComboBox_PcPort->count(), 2);
    QCOMPARE(Form->suiComboBox_PcPort->Text(), QStringLiteral("COM2"));
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("kept"));
    QCOMPARE(Form->suiStatusBar1->PanelText(0), QStringLiteral("Closed"));

    first.reset();
    fixture::ClearPortFolder();
    QTest::mouseClick(Form->suiButton1, Qt::LeftButton);
    QCOMPARE(Form->suiComboBox_PcPort->count(), 0);
    QCOMPARE(Form->suiComboBox_PcPort->ItemIndex(), -1);
    QCOMPARE(Form->suiComboBox_PcPort->Text(), QString());
}

void TestMainForm::openWithoutPortStaysClosedAndSaysWhy()
{
    Show();
    Form->SetStatusText(QStringLiteral("something"), 1);
    QTest::mouseClick(Form->suiButton_OpenPort, Qt::LeftButton);
    QCOMPARE(Form->Link()->IsOpen(), 0);
    QCOMPARE(Form->suiStatusBar1->PanelText(0), QStringLiteral("Closed"));
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral(" "));
    QCOMPARE(Form->suiButton_OpenPort->Caption(), QStringLiteral("Open"));
    QVERIFY(!Form->btn_ReadAll->isEnabled());
    QVERIFY(!Form->suiComboBox_PcPort->toolTip().isEmpty());
}

void TestMainForm::openAndCloseApplyThePresentations()
{
    PtyModule module(12);
    Show();
    Form->suiComboBox_PcBaudRate->SetItemIndex(Form->suiComboBox_PcBaudRate->findText("115200"));
    Form->suiComboBox_PcParity->SetItemIndex(2);
    Form->SetStatusText(QStringLiteral("before"), 1);
    QTest::mouseClick(Form->suiButton_OpenPort, Qt::LeftButton);
    QCOMPARE(Form->Link()->IsOpen(), 1);
    QCOMPARE(Form->suiStatusBar1->PanelText(0), QStringLiteral("Opened"));
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("before"));
    for (QWidget* w : {(QWidget*)Form->suiComboBox_PcPort, (QWidget*)Form->suiComboBox_PcBaudRate,
                       (QWidget*)Form->suiComboBox_PcParity, (QWidget*)Form->suiButton1})
        QVERIFY(!w->isEnabled());
    QVERIFY(Form->btn_ReadAll->isEnabled());
    QVERIFY(Form->btn_WriteAll->isEnabled());
    QCOMPARE(Form->suiButton_OpenPort->Caption(), QStringLiteral("Close"));

    QTest::mouseClick(Form->suiButton_OpenPort, Qt::LeftButton);
    QCOMPARE(Form->Link()->IsOpen(), 0);
    QCOMPARE(Form->suiStatusBar1->PanelText(0), QStringLiteral("Closed"));
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral(" "));
    for (QWidget* w : {(QWidget*)Form->suiComboBox_PcPort, (QWidget*)Form->suiComboBox_PcBaudRate,
                       (QWidget*)Form->suiComboBox_PcParity, (QWidget*)Form->suiButton1})
        QVERIFY(w->isEnabled());
    QVERIFY(!Form->btn_ReadAll->isEnabled());
    QVERIFY(!Form->btn_WriteAll->isEnabled());
    QCOMPARE(Form->suiButton_OpenPort->Caption(), QStringLiteral("Open"));
}

void TestMainForm::portTakenByAnotherProgramSaysWhy()
{
    PtyModule module(6);
    Show();
    TMainForm other(qApp);
    other.show();
    QCOMPARE(other.suiComboBox_PcPort->Text(), QStringLiteral("COM6"));

    // Taken after the list was built: the opening fails and the list says why.
    Open(6);
    QTest::mouseClick(other.suiButton_OpenPort, Qt::LeftButton);
    QCOMPARE(other.Link()->IsOpen(), 0);
    QCOMPARE(other.suiStatusBar1->PanelText(0), QStringLiteral("Closed"));
    QVERIFY2(other.suiComboBox_PcPort->toolTip().contains(QStringLiteral("in use by another program")),
             qPrintable(other.suiComboBox_PcPort->toolTip()));

    // Taken at the scan: the port is not listed, and the list says why.
    QTest::mouseClick(other.suiButton1, Qt::LeftButton);
    QCOMPARE(other.suiComboBox_PcPort->count(), 0);
    QVERIFY2(other.suiComboBox_PcPort->toolTip().contains(QStringLiteral("in use by another program")),
             qPrintable(other.suiComboBox_PcPort->toolTip()));

    // Free again: the entry's tooltip names its device.
    QTest::mouseClick(Form->suiButton_OpenPort, Qt::LeftButton);
    QTest::mouseClick(other.suiButton1, Qt::LeftButton);
    QCOMPARE(other.suiComboBox_PcPort->Text(), QStringLiteral("COM6"));
    QVERIFY(other.suiComboBox_PcPort->toolTip().contains(QStringLiteral("/dev/pts/")));
}

// ----------------------------------------------------------- mapping

namespace {

std::uint8_t& Field(ModuleParams& p, const QString& name)
{
    if (name == "RfFactor") return p.RfFactor;
    if (name == "RfMode") return p.RfMode;
    if (name == "RfBw") return p.RfBw;
    if (name == "Power") return p.Power;
    if (name == "McuBaudRate") return p.McuBaudRate;
    if (name == "McuParity") return p.McuParity;
    qFatal("unknown field");
}

} // namespace

void TestMainForm::replyLoadsEachList_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("shown");   // empty: no selection; "unchanged": the default stays

    const struct { const char* field; const char* list; QStringList entries; int first; } lists[] = {
        {"RfFactor", "suiComboBox_RfFactor", {"128", "256", "512", "1024", "2048", "4096"}, 7},
        {"RfMode", "suiComboBox1", {"Normal", "Saving"}, 0},
        {"RfBw", "suiComboBox_RFBW", {"62.5K", "125K", "250K", "500K"}, 6},
        {"Power", "suiComboBox_Power", {"1", "2", "3", "4", "5", "6", "7"}, 1},
        {"McuBaudRate", "suiComboBox_McuBaudRate", Bauds, 1},
        {"McuParity", "suiComboBox_McuParity", Parities, 0},
    };
    for (const auto& l : lists) {
        for (int i = 0; i < l.entries.size(); ++i)
            QTest::addRow("%s code %d shows %s", l.field, l.first + i, qPrintable(l.entries[i]))
                << l.field << l.first + i << l.list << l.entries[i];
    }
    QTest::newRow("RfFactor 6 out of range") << "RfFactor" << 6 << "suiComboBox_RfFactor" << "unchanged";
    QTest::newRow("RfFactor 13 out of range") << "RfFactor" << 13 << "suiComboBox_RfFactor" << "unchanged";
    QTest::newRow("RfBw 5 out of range") << "RfBw" << 5 << "suiComboBox_RFBW" << "unchanged";
    QTest::newRow("RfBw 10 out of range") << "RfBw" << 10 << "suiComboBox_RFBW" << "unchanged";
    QTest::newRow("Power 0 out of range") << "Power" << 0 << "suiComboBox_Power" << "unchanged";
    QTest::newRow("Power 8 out of range") << "Power" << 8 << "suiComboBox_Power" << "unchanged";
    QTest::newRow("McuParity 3 out of range") << "McuParity" << 3 << "suiComboBox_McuParity" << "unchanged";
    QTest::newRow("McuBaudRate 9 out of range") << "McuBaudRate" << 9 << "suiComboBox_McuBaudRate" << "unchanged";
    QTest::newRow("McuBaudRate 255 out of range") << "McuBaudRate" << 255 << "suiComboBox_McuBaudRate" << "unchanged";
    QTest::newRow("McuBaudRate 0 reads as 115200") << "McuBaudRate" << 0 << "suiComboBox_McuBaudRate" << "115200";
    QTest::newRow("RfMode 2 shows no selection") << "RfMode" << 2 << "suiComboBox1" << "";
    QTest::newRow("RfMode 3 out of range") << "RfMode" << 3 << "suiComboBox1" << "unchanged";
}

void TestMainForm::replyLoadsEachList()
{
    QFETCH(QString, field);
    QFETCH(int, code);
    QFETCH(QString, list);
    QFETCH(QString, shown);

    auto* control = Form->findChild<TsuiComboBox*>(list);
    QVERIFY(control);
    const QString before = control->Text();
    ModuleParams reply = fixture::DistinctParams();
    Field(reply, field) = std::uint8_t(code);
    Reply(reply);
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("Successful"));
    QCOMPARE(control->Text(), shown == QLatin1String("unchanged") ? before : shown);
    if (shown.isEmpty())
        QCOMPARE(control->ItemIndex(), -1);
    // Every other control still loads.
    QCOMPARE(Form->suiNumberEdit_NetID->Value(), 200.0);
    QCOMPARE(Form->suiNumberEdit_CustID_H->text(), QStringLiteral("18"));
    QCOMPARE(Form->suiNumberEdit_CustID_L->text(), QStringLiteral("52"));
    QCOMPARE(Form->suiNumberEdit_RfFrequency->text(), QStringLiteral("868.50"));
    if (field != "Power")
        QCOMPARE(Form->suiComboBox_Power->Text(), QStringLiteral("3"));
    if (field != "McuParity")
        QCOMPARE(Form->suiComboBox_McuParity->Text(), QStringLiteral("EVEN"));
}

void TestMainForm::replyFrequencyPassesTheRule_data()
{
    QTest::addColumn<double>("frequency");
    QTest::addColumn<QString>("shown");
    QTest::newRow("915 stands") << 915.0 << "915.00";
    QTest::newRow("120 becomes 433") << 120.0 << "433.00";
    QTest::newRow("1000 becomes 433") << 1000.0 << "433.00";
    QTest::newRow("50 stands") << 50.0 << "50.00";
    QTest::newRow("990 stands") << 990.0 << "990.00";
    QTest::newRow("990.01 becomes 433") << 990.01 << "433.00";
    QTest::newRow("139.99 becomes 433") << 139.99 << "433.00";
    QTest::newRow("140 stands") << 140.0 << "140.00";
    QTest::newRow("99.99 stands") << 99.99 << "99.99";
    QTest::newRow("434 again changes no text") << 434.0 << "434.00";
}

void TestMainForm::replyFrequencyPassesTheRule()
{
    QFETCH(double, frequency);
    QFETCH(QString, shown);
    ModuleParams reply = fixture::DistinctParams();
    reply.RfFrequency = frequency;
    Reply(reply);
    QCOMPARE(Form->suiNumberEdit_RfFrequency->text(), shown);
    QCOMPARE(Form->suiNumberEdit_RfFrequency->Value(), QLocale().toDouble(shown));
}

void TestMainForm::writeAllTakesEachList_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("code");
    const struct { const char* field; const char* list; int count; int offset; } lists[] = {
        {"RfFactor", "suiComboBox_RfFactor", 6, 7}, {"RfMode", "suiComboBox1", 2, 0},
        {"RfBw", "suiComboBox_RFBW", 4, 6},        {"Power", "suiComboBox_Power", 7, 1},
        {"McuBaudRate", "suiComboBox_McuBaudRate", 8, 1}, {"McuParity", "suiComboBox_McuParity", 3, 0},
    };
    for (const auto& l : lists)
        for (int i = 0; i < l.count; ++i)
            QTest::addRow("%s entry %d sends %d", l.list, i, i + l.offset) << l.list << i << l.field << i + l.offset;
    QTest::newRow("mode list without selection sends 2") << "suiComboBox1" << -1 << "RfMode" << 2;
}

void TestMainForm::writeAllTakesEachList()
{
    QFETCH(QString, list);
    QFETCH(int, index);
    QFETCH(QString, field);
    QFETCH(int, code);
    Form->findChild<TsuiComboBox*>(list)->SetItemIndex(index);
    ModuleParams sent = Form->ParamsFromControls();
    QCOMPARE(int(Field(sent, field)), code);
}

void TestMainForm::writeAllSendsTheDefaults()
{
    PtyModule module(7);
    Show();
    Open(7);
    QTest::mouseClick(Form->btn_WriteAll, Qt::LeftButton);
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("......"));
    QCOMPARE(Form->PendingTicks(), 0);
    Frame frame;
    QVERIFY(module.ReadFrame(frame));
    QCOMPARE(frame[6], CommandWrite);
    ModuleParams sent;
    DecodeReply(frame.data(), sent);
    QCOMPARE(int(sent.McuBaudRate), 4);
    QCOMPARE(int(sent.McuParity), 0);
    QCOMPARE(sent.RfFrequency, 434.0);
    QCOMPARE(int(sent.RfFactor), 11);
    QCOMPARE(int(sent.RfMode), 0);
    QCOMPARE(int(sent.RfBw), 7);
    QCOMPARE(int(sent.CustID_H), 0);
    QCOMPARE(int(sent.CustID_L), 0);
    QCOMPARE(int(sent.NetID), 0);
    QCOMPARE(int(sent.Power), 7);
}

// -------------------------------------------------------------- wait

void TestMainForm::timeoutOnTheThirdTick()
{
    PtyModule module(1);
    Show();
    Open(1);
    QTest::mouseClick(Form->btn_ReadAll, Qt::LeftButton);
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("......"));
    Frame frame;
    QVERIFY(module.ReadFrame(frame));
    QCOMPARE(frame[6], CommandRead);
    Form->tmr1Timer(Form->tmr1);
    Form->tmr1Timer(Form->tmr1);
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("......"));
    QCOMPARE(Form->PendingTicks(), 2);
    Form->tmr1Timer(Form->tmr1);
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("Error:TimeOut!"));
    QCOMPARE(Form->PendingTicks(), -1);
    Form->SetStatusText(QStringLiteral("after"), 1);
    for (int i = 0; i < 5; ++i)
        Form->tmr1Timer(Form->tmr1);
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("after"));
}

void TestMainForm::secondCommandRestartsTheCount()
{
    PtyModule module(1);
    Show();
    Open(1);
    QTest::mouseClick(Form->btn_ReadAll, Qt::LeftButton);
    Form->tmr1Timer(Form->tmr1);
    Form->tmr1Timer(Form->tmr1);
    QTest::mouseClick(Form->btn_WriteAll, Qt::LeftButton);
    QCOMPARE(Form->PendingTicks(), 0);
    Form->tmr1Timer(Form->tmr1);
    Form->tmr1Timer(Form->tmr1);
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("......"));
    Form->tmr1Timer(Form->tmr1);
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("Error:TimeOut!"));
}

void TestMainForm::commandOnClosedPortFails()
{
    PtyModule module(1);
    Show();
    Open(1);
    QTest::mouseClick(Form->btn_ReadAll, Qt::LeftButton);
    Frame frame;
    QVERIFY(module.ReadFrame(frame));
    Form->tmr1Timer(Form->tmr1);
    QTest::mouseClick(Form->suiButton_OpenPort, Qt::LeftButton);  // Close
    // The buttons are disabled while closed; the handlers still guard.
    Form->btn_ReadAllClick(Form->btn_ReadAll);
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("Fail!"));
    Form->btn_WriteAllClick(Form->btn_WriteAll);
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("Fail!"));
    QCOMPARE(Form->PendingTicks(), 1);
    QVERIFY(module.Quiet(100));
    Form->tmr1Timer(Form->tmr1);
    Form->tmr1Timer(Form->tmr1);
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("Error:TimeOut!"));

    // Without any wait, a failed command starts none.
    Form->btn_ReadAllClick(Form->btn_ReadAll);
    QCOMPARE(Form->PendingTicks(), -1);
}

void TestMainForm::lateReplyStillLoads()
{
    PtyModule module(1);
    Show();
    Open(1);
    QTest::mouseClick(Form->btn_ReadAll, Qt::LeftButton);
    for (int i = 0; i < 3; ++i)
        Form->tmr1Timer(Form->tmr1);
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("Error:TimeOut!"));
    module.Answer(fixture::DistinctParams());
    QTRY_COMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("Successful"));
    QCOMPARE(Form->suiComboBox_RfFactor->Text(), QStringLiteral("512"));
    QCOMPARE(Form->suiComboBox1->Text(), QStringLiteral("Saving"));
    QCOMPARE(Form->suiComboBox_RFBW->Text(), QStringLiteral("500K"));
    QCOMPARE(Form->suiComboBox_McuBaudRate->Text(), QStringLiteral("38400"));
    QCOMPARE(Form->suiComboBox_McuParity->Text(), QStringLiteral("EVEN"));
    QCOMPARE(Form->suiComboBox_Power->Text(), QStringLiteral("3"));
    QCOMPARE(Form->suiNumberEdit_RfFrequency->text(), QStringLiteral("868.50"));
    QCOMPARE(Form->suiNumberEdit_NetID->text(), QStringLiteral("200"));

    // A reply nobody asked for is handled alike.
    ModuleParams again = fixture::DistinctParams();
    again.Power = 5;
    module.Answer(again);
    QTRY_COMPARE(Form->suiComboBox_Power->Text(), QStringLiteral("5"));
}

void TestMainForm::replyWithoutLinkOnlyEndsTheWait()
{
    Show();
    Form->FormDestroy(Form.get());
    QVERIFY(Form->Link() == nullptr);
    QVERIFY(!Form->tmr1->Enabled());
    Form->SetStatusText(QStringLiteral("kept"), 1);
    Reply(fixture::DistinctParams());
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("kept"));
    QCOMPARE(Form->suiComboBox_Power->Text(), QStringLiteral("7"));
    QCOMPARE(Form->PendingTicks(), -1);
}

void TestMainForm::badChecksumLoadsNothing()
{
    PtyModule module(1);
    Show();
    Open(1);
    QTest::mouseClick(Form->btn_ReadAll, Qt::LeftButton);
    Form->tmr1Timer(Form->tmr1);
    module.Answer(fixture::DistinctParams(), /*badChecksum=*/true);
    QTRY_COMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("Error:CheckSum!"));
    QCOMPARE(Form->PendingTicks(), -1);
    QCOMPARE(Form->suiComboBox_Power->Text(), QStringLiteral("7"));
    QCOMPARE(Form->suiNumberEdit_RfFrequency->text(), QStringLiteral("434.00"));
    for (int i = 0; i < 3; ++i)
        Form->tmr1Timer(Form->tmr1);
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("Error:CheckSum!"));

    // A good reply after one that matched: a bad one still loads nothing.
    module.Answer(fixture::DistinctParams());
    QTRY_COMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("Successful"));
    Form->suiComboBox_Power->SetItemIndex(0);
    module.Answer(fixture::DistinctParams(), true);
    QTRY_COMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("Error:CheckSum!"));
    QCOMPARE(Form->suiComboBox_Power->Text(), QStringLiteral("1"));
}

void TestMainForm::modeTwoSurvivesARoundTrip()
{
    PtyModule module(1);
    Show();
    Open(1);
    QTest::mouseClick(Form->btn_ReadAll, Qt::LeftButton);
    Frame frame;
    QVERIFY(module.ReadFrame(frame));
    ModuleParams reply = fixture::DistinctParams();
    reply.RfMode = 2;
    module.Answer(reply);
    QTRY_COMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("Successful"));
    QCOMPARE(Form->suiComboBox1->ItemIndex(), -1);
    QCOMPARE(Form->suiComboBox1->Text(), QString());
    QTest::mouseClick(Form->btn_WriteAll, Qt::LeftButton);
    QVERIFY(module.ReadFrame(frame));
    ModuleParams sent;
    DecodeReply(frame.data(), sent);
    QCOMPARE(int(sent.RfMode), 2);
    QCOMPARE(int(sent.RfFactor), 9);
    QCOMPARE(int(sent.NetID), 200);
}

void TestMainForm::lostPortIsShown()
{
    PtyModule module(1);
    Show();
    Open(1);
    QTest::mouseClick(Form->btn_ReadAll, Qt::LeftButton);
    Form->tmr1Timer(Form->tmr1);
    module.Unplug();
    QTRY_COMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("Error:PortLost!"));
    QCOMPARE(Form->Link()->IsOpen(), 0);
    QCOMPARE(Form->suiStatusBar1->PanelText(0), QStringLiteral("Closed"));
    QCOMPARE(Form->suiButton_OpenPort->Caption(), QStringLiteral("Open"));
    QVERIFY(!Form->btn_ReadAll->isEnabled());
    QVERIFY(!Form->btn_WriteAll->isEnabled());
    QVERIFY(Form->suiButton1->isEnabled());
    QVERIFY(Form->suiComboBox_PcPort->isEnabled());
    QVERIFY(!Form->suiComboBox_PcPort->toolTip().isEmpty());
    // The wait goes on and ends as any wait does.
    QCOMPARE(Form->PendingTicks(), 1);
    Form->tmr1Timer(Form->tmr1);
    Form->tmr1Timer(Form->tmr1);
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("Error:TimeOut!"));
}

void TestMainForm::closingThePortLeavesTheWait()
{
    PtyModule module(1);
    Show();
    Open(1);
    QTest::mouseClick(Form->btn_ReadAll, Qt::LeftButton);
    Form->tmr1Timer(Form->tmr1);
    QTest::mouseClick(Form->suiButton_OpenPort, Qt::LeftButton);
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral(" "));
    Form->tmr1Timer(Form->tmr1);
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral(" "));
    Form->tmr1Timer(Form->tmr1);
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("Error:TimeOut!"));
}

// ------------------------------------------------------ number edits

void TestMainForm::typingIntoNumberEdits_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QStringList>("texts");   // the text after each key
    QTest::addColumn<double>("value");

    QTest::newRow("frequency 1 2 0 becomes 433.00 at the third key")
        << "suiNumberEdit_RfFrequency" << "120" << QStringList{"1", "12", "433.00"} << 433.0;
    QTest::newRow("frequency 9 9 5 becomes 433.00")
        << "suiNumberEdit_RfFrequency" << "995" << QStringList{"9", "99", "433.00"} << 433.0;
    QTest::newRow("frequency 1 5 0 stands")
        << "suiNumberEdit_RfFrequency" << "150" << QStringList{"1", "15", "150"} << 150.0;
    QTest::newRow("frequency with decimals")
        << "suiNumberEdit_RfFrequency" << "868.1" << QStringList{"8", "86", "868", "868.", "868.1"} << 868.1;
    QTest::newRow("node ID high 3 0 0 becomes 255")
        << "suiNumberEdit_CustID_H" << "300" << QStringList{"3", "30", "255"} << 255.0;
    QTest::newRow("node ID low 3 0 0 becomes 255")
        << "suiNumberEdit_CustID_L" << "300" << QStringList{"3", "30", "255"} << 255.0;
    QTest::newRow("net ID 2 5 6 becomes 255")
        << "suiNumberEdit_NetID" << "256" << QStringList{"2", "25", "255"} << 255.0;
    QTest::newRow("net ID 2 5 5 stands")
        << "suiNumberEdit_NetID" << "255" << QStringList{"2", "25", "255"} << 255.0;
}

void TestMainForm::typingIntoNumberEdits()
{
    QFETCH(QString, edit);
    QFETCH(QString, keys);
    QFETCH(QStringList, texts);
    QFETCH(double, value);
    Show();
    auto* e = Form->findChild<TsuiNumberEdit*>(edit);
    e->setFocus();
    e->selectAll();
    const double before = e->Value();
    QTest::keyClick(e, Qt::Key_Backspace);
    QCOMPARE(e->text(), QString());
    QCOMPARE(e->Value(), before);
    for (int i = 0; i < keys.size(); ++i) {
        QTest::keyClick(e, keys.at(i).toLatin1());
        QCOMPARE(e->text(), texts.at(i));
    }
    QCOMPARE(e->Value(), value);
    QVERIFY(fixture::ShownBoxes().empty());
}

void TestMainForm::numberEditFiltersKeys()
{
    Show();
    TsuiNumberEdit* f = Form->suiNumberEdit_RfFrequency;
    EmptyAndType(f, QStringLiteral("4a3-3.+5.e0"));
    QCOMPARE(f->text(), QStringLiteral("433.50"));
    QCOMPARE(f->Value(), 433.5);
    TsuiNumberEdit* id = Form->suiNumberEdit_NetID;
    EmptyAndType(id, QStringLiteral("1.2-x3"));
    QCOMPARE(id->text(), QStringLiteral("123"));
    QVERIFY(fixture::ShownBoxes().empty());
}

void TestMainForm::leavingAnEdit_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<double>("value");
    QTest::newRow("empty frequency becomes 0.00") << "suiNumberEdit_RfFrequency" << "" << "0.00" << 0.0;
    QTest::newRow("frequency 12 becomes 12.00") << "suiNumberEdit_RfFrequency" << "12" << "12.00" << 12.0;
    QTest::newRow("frequency 868.125 rounds to 868.13") << "suiNumberEdit_RfFrequency" << "868.125" << "868.13" << 868.13;
    QTest::newRow("empty ID becomes 0") << "suiNumberEdit_CustID_L" << "" << "0" << 0.0;
    QTest::newRow("ID 007 becomes 7") << "suiNumberEdit_CustID_L" << "007" << "7" << 7.0;
}

void TestMainForm::leavingAnEdit()
{
    QFETCH(QString, edit);
    QFETCH(QString, keys);
    QFETCH(QString, shown);
    QFETCH(double, value);
    Show();
    QApplication::setActiveWindow(Form.get());
    auto* e = Form->findChild<TsuiNumberEdit*>(edit);
    EmptyAndType(e, keys);
    Form->suiComboBox_Power->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(!e->hasFocus());
    QCOMPARE(e->text(), shown);
    QCOMPARE(e->Value(), value);
}

void TestMainForm::enteringSelectsLastSigns()
{
    Show();
    QApplication::setActiveWindow(Form.get());
    TsuiNumberEdit* f = Form->suiNumberEdit_RfFrequency;
    Form->suiComboBox_Power->setFocus(Qt::TabFocusReason);
    f->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(f->hasFocus());
    QCOMPARE(f->selectedText(), QStringLiteral("00"));
    f->deselect();
    QTest::mouseClick(f, Qt::LeftButton, {}, QPoint(4, 8));
    QCOMPARE(f->selectedText(), QStringLiteral("00"));
    TsuiNumberEdit* id = Form->suiNumberEdit_CustID_H;
    QTest::mouseClick(id, Qt::LeftButton, {}, QPoint(4, 8));
    QCOMPARE(id->selectedText(), QStringLiteral("0"));
}

void TestMainForm::pastedNonNumberRestoresAndShowsError()
{
    Show();
    TsuiNumberEdit* f = Form->suiNumberEdit_RfFrequency;
    f->setFocus();
    f->setCursorPosition(int(f->text().size()));
    QGuiApplication::clipboard()->setText(QStringLiteral("abc"));
    QTest::keyClick(f, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(f->text(), QStringLiteral("434.00"));
    QCOMPARE(f->Value(), 434.0);
    QCOMPARE(fixture::ShownBoxes().size(), std::size_t(1));
    QCOMPARE(fixture::ShownBoxes()[0].caption, QGuiApplication::applicationDisplayName());
    QVERIFY(fixture::ShownBoxes()[0].text.contains(QStringLiteral("434.00abc")));
    // The edit goes on working.
    EmptyAndType(f, QStringLiteral("915"));
    QCOMPARE(f->Value(), 915.0);
}

void TestMainForm::idEditHolding255Sends255()
{
    PtyModule module(9);
    Show();
    Open(9);
    EmptyAndType(Form->suiNumberEdit_CustID_H, QStringLiteral("300"));
    EmptyAndType(Form->suiNumberEdit_NetID, QStringLiteral("255"));
    QTest::mouseClick(Form->btn_WriteAll, Qt::LeftButton);
    Frame frame;
    QVERIFY(module.ReadFrame(frame));
    ModuleParams sent;
    DecodeReply(frame.data(), sent);
    QCOMPARE(int(sent.CustID_H), 255);
    QCOMPARE(int(sent.NetID), 255);
}

// ---------------------------------------------------------- failures

namespace {

class Thrower : public QObject
{
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw std::runtime_error("handler failed");
        if (e->type() == QEvent::User + 1)
            throw 42;
        return QObject::event(e);
    }
};

} // namespace

void TestMainForm::handlerExceptionIsShownAndWindowGoesOn()
{
    Show();
    // A timer handler that throws: shown, and the timer keeps running.
    int ticks = 0;
    Form->tmr1->OnTimer = [&ticks](QObject*) {
        ++ticks;
        throw std::runtime_error("tick failed");
    };
    Form->tmr1->SetInterval(10);
    QTRY_VERIFY(ticks >= 2);
    Form->tmr1->SetEnabled(false);
    QVERIFY(fixture::ShownBoxes().size() >= 2);
    QCOMPARE(fixture::ShownBoxes()[0].text, QStringLiteral("tick failed"));
    QCOMPARE(fixture::ShownBoxes()[0].caption, QGuiApplication::applicationDisplayName());

    // An event handler that throws: the application object shows it.
    fixture::ShownBoxes().clear();
    Thrower thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::Type(QEvent::User + 1)));
    QTRY_COMPARE(fixture::ShownBoxes().size(), std::size_t(2));
    QCOMPARE(fixture::ShownBoxes()[0].text, QStringLiteral("handler failed"));
    QCOMPARE(fixture::ShownBoxes()[1].text, QString());

    // The window goes on.
    Form->SetStatusText(QStringLiteral("still here"), 1);
    QCOMPARE(Form->suiStatusBar1->PanelText(1), QStringLiteral("still here"));
    QTest::mouseClick(Form->suiButton1, Qt::LeftButton);
    QCOMPARE(Form->suiStatusBar1->PanelText(0), QStringLiteral("Closed"));
}

void TestMainForm::closingWithPortOpenEndsTheReader()
{
    PtyModule module(1);
    Show();
    const std::size_t before = figures::ThreadCount();
    Open(1);
    QVERIFY(figures::ThreadCount() > before);
    QTest::mouseClick(Form->btn_ReadAll, Qt::LeftButton);
    module.Answer(fixture::DistinctParams());
    Form->close();
    QVERIFY(!Form->isVisible());
    // Destroying the window ends the reader with the link.
    Form.reset();
    QCOMPARE(figures::SettledThreadCount(before), before);
    // The reply posted before the window went is never handled.
    QCoreApplication::processEvents();
}

KESTRIN_WINDOW_TEST_MAIN(TestMainForm)
#include "test_mainform.moc"
