#include "SuiWidgets.h"

#include "Application.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QWindow>

#include <cmath>
#include <stdexcept>

namespace sui {

QFont FormFont()
{
    QFont font;
    // Free faces closest to MS Sans Serif first; Qt takes the first present.
    font.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "Tahoma", "Liberation Sans",
                      "Nimbus Sans", "Arial", "DejaVu Sans"});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

QFont CaptionFont()
{
    QFont font;
    font.setFamilies({"Tahoma", "DejaVu Sans", "Liberation Sans", "Nimbus Sans"});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    font.setBold(true);
    return font;
}

void InvokeHandler(const TNotifyEvent& handler, QObject* sender)
{
    if (!handler)
        return;
    try {
        handler(sender);
    } catch (...) {
        ShowHandlerException();
    }
}

} // namespace sui

namespace {

// What accessibility tools see of the components Qt has no role for: a
// clickable picture is a button that can be pressed, the status bar is a
// status bar whose panels are its labels.
class ImagePanelAccessible : public QAccessibleWidget
{
public:
    explicit ImagePanelAccessible(TsuiImagePanel* panel)
        : QAccessibleWidget(panel, panel->focusPolicy() == Qt::NoFocus ? QAccessible::Graphic : QAccessible::Button)
    {
    }

    QStringList actionNames() const override
    {
        if (role() != QAccessible::Button)
            return QAccessibleWidget::actionNames();
        return {pressAction()};
    }

    void doAction(const QString& name) override
    {
        if (role() == QAccessible::Button && name == pressAction())
            sui::InvokeHandler(static_cast<TsuiImagePanel*>(widget())->OnClick, widget());
    }
};

QAccessibleInterface* AccessibleFactory(const QString& className, QObject* object)
{
    Q_UNUSED(className);
    if (auto* panel = dynamic_cast<TsuiImagePanel*>(object))
        return new ImagePanelAccessible(panel);
    if (auto* bar = dynamic_cast<TsuiStatusBar*>(object))
        return new QAccessibleWidget(bar, QAccessible::StatusBar);
    return nullptr;
}

void InstallAccessibleFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(AccessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void SetBackground(QWidget* widget, QRgb colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, QColor(colour));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

// ---------------------------------------------------------------- title bar

TsuiTitleButton::TsuiTitleButton(Kind kind, QWidget* parent)
    : QPushButton(parent), ButtonKind(kind)
{
    setFocusPolicy(Qt::NoFocus);
    setFlat(true);
    setFixedSize(kind == ControlBox ? 18 : 20, 18);
    setAccessibleName(kind == ControlBox ? QStringLiteral("System menu") : QStringLiteral("Close"));
    setToolTip(accessibleName());
}

void TsuiTitleButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (isDown() || underMouse())
        painter.fillRect(rect().adjusted(1, 1, -1, -1), QColor(255, 255, 255, isDown() ? 90 : 50));
    painter.setPen(QPen(Qt::white, 1.6));
    const QRectF r = QRectF(rect()).adjusted(6, 5, -6, -5);
    if (ButtonKind == CloseBox) {
        painter.drawLine(r.topLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomLeft());
    } else {
        // A small downward arrow: the menu behind the button.
        const QPointF points[3] = {{r.left(), r.center().y() - 2},
                                   {r.right(), r.center().y() - 2},
                                   {r.center().x(), r.center().y() + 3}};
        painter.setBrush(Qt::white);
        painter.drawPolygon(points, 3);
    }
}

TsuiForm::TsuiForm(QWidget* parent)
    : QWidget(parent),
      IconLabel(new QLabel(this)),
      CaptionText(new QLabel(this)),
      ControlBox(new TsuiTitleButton(TsuiTitleButton::ControlBox, this)),
      CloseBox(new TsuiTitleButton(TsuiTitleButton::CloseBox, this)),
      Menu(new QMenu(this))
{
    SetBackground(this, sui::BodyColour);

    IconLabel->setGeometry(5, 4, 16, 16);
    IconLabel->setAccessibleName(QStringLiteral("Application icon"));
    CaptionText->setFont(sui::CaptionFont());
    CaptionText->setStyleSheet(QStringLiteral("color: white;"));
    CaptionText->setGeometry(25, 0, 300, TitleBarHeight);
    CaptionText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Clicks on the caption belong to the title bar (drag, double click).
    CaptionText->setAttribute(Qt::WA_TransparentForMouseEvents);
    IconLabel->setAttribute(Qt::WA_TransparentForMouseEvents);

    // The window is fixed in size: the menu can only move and close it.
    QAction* restore = Menu->addAction(QStringLiteral("&Restore"));
    restore->setEnabled(false);
    QAction* move = Menu->addAction(QStringLiteral("&Move"));
    QAction* minimise = Menu->addAction(QStringLiteral("Mi&nimize"));
    minimise->setEnabled(false);
    QAction* maximise = Menu->addAction(QStringLiteral("Ma&ximize"));
    maximise->setEnabled(false);
    Menu->addSeparator();
    QAction* close = Menu->addAction(QStringLiteral("&Close"));
    close->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    QFont bold = close->font();
    bold.setBold(true);
    close->setFont(bold);

    connect(move, &QAction::triggered, this, [this] {
        if (QWindow* handle = window()->windowHandle())
            handle->startSystemMove();
    });
    connect(close, &QAction::triggered, this, [this] { window()->close(); });
    connect(ControlBox, &QPushButton::clicked, this, [this] { ShowSystemMenu(); });
    connect(CloseBox, &QPushButton::clicked, this, [this] { window()->close(); });

    // Alt+F4 and Alt+Space work even where no window manager supplies them.
    auto* altF4 = new QAction(this);
    altF4->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    altF4->setShortcutContext(Qt::WindowShortcut);
    connect(altF4, &QAction::triggered, this, [this] { window()->close(); });
    addAction(altF4);
    auto* altSpace = new QAction(this);
    altSpace->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Space));
    altSpace->setShortcutContext(Qt::WindowShortcut);
    connect(altSpace, &QAction::triggered, this, [this] { ShowSystemMenu(); });
    addAction(altSpace);
}

void TsuiForm::resizeEvent(QResizeEvent*)
{
    CloseBox->move(width() - CloseBox->width() - 3, 2);
    ControlBox->move(CloseBox->x() - ControlBox->width() - 1, 2);
    CaptionText->setFixedWidth(std::max(0, ControlBox->x() - CaptionText->x() - 2));
}

void TsuiForm::SetCaption(const QString& caption)
{
    CaptionText->setText(caption);
    setAccessibleName(caption);
}

QString TsuiForm::Caption() const
{
    return CaptionText->text();
}

void TsuiForm::SetIcon(const QPixmap& icon)
{
    IconLabel->setPixmap(icon.isNull() ? icon
                                       : icon.scaled(16, 16, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void TsuiForm::ShowSystemMenu()
{
    Menu->popup(mapToGlobal(QPoint(ControlBox->x(), TitleBarHeight)));
}

void TsuiForm::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const bool active = window()->isActiveWindow();
    QLinearGradient bar(0, 0, 0, TitleBarHeight);
    if (active) {
        bar.setColorAt(0.0, QColor(98, 128, 168));
        bar.setColorAt(0.5, QColor(52, 82, 128));
        bar.setColorAt(1.0, QColor(34, 60, 102));
    } else {
        const QColor inactive = palette().color(QPalette::Inactive, QPalette::Highlight);
        bar.setColorAt(0.0, inactive.lighter(130));
        bar.setColorAt(1.0, inactive.darker(115));
    }
    painter.fillRect(QRect(0, 0, width(), TitleBarHeight), bar);
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TsuiForm::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && event->position().y() < TitleBarHeight) {
        if (QWindow* handle = window()->windowHandle())
            handle->startSystemMove();
        event->accept();
        return;
    }
    if (event->button() == Qt::RightButton && event->position().y() < TitleBarHeight) {
        Menu->popup(event->globalPosition().toPoint());
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TsuiForm::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A fixed-size window: a double click on the title bar does nothing.
    event->accept();
}

void TsuiForm::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange) {
        CaptionText->setStyleSheet(window()->isActiveWindow()
                                       ? QStringLiteral("color: white;")
                                       : QStringLiteral("color: %1;").arg(
                                             palette().color(QPalette::Inactive, QPalette::WindowText).name()));
        update();
    }
    QWidget::changeEvent(event);
}

// -------------------------------------------------------------- group box

TsuiGroupBox::TsuiGroupBox(const QString& caption, QWidget* parent)
    : QGroupBox(caption, parent)
{
    setFont(sui::FormFont());
}

void TsuiGroupBox::paintEvent(QPaintEvent*)
{
    // Opaque over its whole rectangle, caption strip included, so that a
    // box laid over another hides it completely.
    QPainter painter(this);
    painter.fillRect(rect(), QColor(sui::BodyColour));
    const QFontMetrics metrics(font());
    const int top = metrics.height() / 2;
    painter.setPen(Qt::black);
    painter.drawRect(0, top, width() - 1, height() - top - 1);
    const QRect caption(7, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
    painter.fillRect(caption, QColor(sui::BodyColour));
    painter.setPen(isEnabled() ? Qt::black : Qt::gray);
    painter.drawText(caption, Qt::AlignCenter, title());
}

TLabel::TLabel(const QString& caption, QWidget* parent)
    : QLabel(caption, parent)
{
    setFont(sui::FormFont());
}

// ------------------------------------------------------------------- list

TsuiComboBox::TsuiComboBox(QWidget* parent)
    : QComboBox(parent)
{
    setEditable(false);
    setFont(sui::FormFont());
    setFixedHeight(21);
    setFocusPolicy(Qt::StrongFocus);
    setStyleSheet(QStringLiteral(
        "QComboBox QAbstractItemView { background-color: rgb(0,255,0); color: black;"
        " border: 1px solid black; selection-background-color: rgb(10,36,106);"
        " selection-color: white; outline: 0px; }"
        "QComboBox QAbstractItemView::item { min-height: 13px; height: 13px; }"));
}

void TsuiComboBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect r = rect();
    painter.fillRect(r, QColor(sui::ListColour));
    painter.setPen(Qt::black);
    painter.drawRect(r.adjusted(0, 0, -1, -1));

    const int buttonWidth = 15;
    const QRect button(r.right() - buttonWidth, 1, buttonWidth, r.height() - 2);
    painter.fillRect(button, QColor(sui::BodyColour));
    painter.drawLine(button.left() - 1, button.top(), button.left() - 1, button.bottom());
    const QPointF centre = QRectF(button).center();
    const QPointF arrow[3] = {{centre.x() - 3.5, centre.y() - 1.5},
                              {centre.x() + 3.5, centre.y() - 1.5},
                              {centre.x(), centre.y() + 2.0}};
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(isEnabled() ? Qt::black : Qt::gray);
    painter.setPen(Qt::NoPen);
    painter.drawPolygon(arrow, 3);
    painter.setRenderHint(QPainter::Antialiasing, false);

    QRect textArea(2, 2, button.left() - 4, r.height() - 4);
    if (hasFocus() && !isEditable()) {
        painter.fillRect(textArea, QColor(10, 36, 106));
        painter.setPen(Qt::white);
    } else {
        painter.setPen(isEnabled() ? Qt::black : QColor(96, 96, 96));
    }
    painter.setFont(font());
    painter.drawText(textArea.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, Text());
}

void TsuiComboBox::SetItemIndex(int index)
{
    if (index < -1 || index >= count())
        index = -1;
    setCurrentIndex(index);
}

// ------------------------------------------------------------ number edit

TsuiNumberEdit::TsuiNumberEdit(const QString& mask, double value, QWidget* parent)
    : QLineEdit(parent), DisplayMask(mask)
{
    const int point = mask.indexOf(u'.');
    Decimals = point < 0 ? 0 : int(mask.size() - point - 1);
    setFont(sui::FormFont());
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setFrame(false);
    setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid black; padding: 0px 1px; color: black; }"));
    StoredValue = value;
    setText(FormatValue(value));
    connect(this, &QLineEdit::textChanged, this, &TsuiNumberEdit::TextChanged);
}

QString TsuiNumberEdit::FormatValue(double value) const
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'f', Decimals);
}

bool TsuiNumberEdit::ReadNumber(const QString& text, double* value) const
{
    const QLocale locale;
    QString plain = text.trimmed();
    plain.remove(locale.groupSeparator());
    bool ok = false;
    const double number = locale.toDouble(plain, &ok);
    if (!ok || !std::isfinite(number))
        return false;
    *value = number;
    return true;
}

void TsuiNumberEdit::SetValue(double value)
{
    StoredValue = value;
    const QString shown = FormatValue(value);
    if (shown != text())
        setText(shown);
}

void TsuiNumberEdit::TextChanged(const QString& shown)
{
    if (!shown.isEmpty() && shown != QStringLiteral("-")) {
        double number = 0.0;
        if (!ReadNumber(shown, &number)) {
            const QString restored = FormatValue(StoredValue);
            // The restored text raises its own change, which reads fine.
            setText(restored);
            try {
                throw std::invalid_argument(
                    QStringLiteral("'%1' is not a valid floating point value").arg(shown).toStdString());
            } catch (...) {
                ShowHandlerException();
            }
            return;
        }
        StoredValue = number;
    }
    sui::InvokeHandler(OnChange, this);
}

void TsuiNumberEdit::keyPressEvent(QKeyEvent* event)
{
    const QString typed = event->text();
    const bool character = typed.size() == 1 && typed.at(0).isPrint()
                           && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (character) {
        const QChar c = typed.at(0);
        const QString decimal = QLocale().decimalPoint();
        bool accept = c.isDigit() && c.unicode() < 128;
        if (!accept && DisplayMask.contains(u'.') && typed == decimal) {
            QString rest = text();
            if (hasSelectedText())
                rest.remove(selectionStart(), selectedText().size());
            accept = !rest.contains(decimal);
        }
        if (!accept && DisplayMask.contains(u'-') && c == u'-') {
            const int at = hasSelectedText() ? selectionStart() : cursorPosition();
            QString rest = text();
            if (hasSelectedText())
                rest.remove(selectionStart(), selectedText().size());
            accept = at == 0 && !rest.contains(u'-');
        }
        if (!accept) {
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TsuiNumberEdit::SelectLastSigns()
{
    const int length = int(text().size());
    const int count = std::min(AutoSelectSigns, length);
    if (count > 0)
        setSelection(length - count, count);
}

void TsuiNumberEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    SelectLastSigns();
}

void TsuiNumberEdit::mousePressEvent(QMouseEvent* event)
{
    QLineEdit::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        SelectLastSigns();
}

void TsuiNumberEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // A popup (context menu) or another window taking the focus is not
    // leaving the edit.
    if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason)
        return;
    if (text().isEmpty() || text() == QStringLiteral("-"))
        setText(QStringLiteral("0"));
    double number = StoredValue;
    if (ReadNumber(text(), &number))
        SetValue(number);
}

// ----------------------------------------------------------------- button

TsuiButton::TsuiButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent)
{
    setFont(sui::FormFont());
    setFocusPolicy(Qt::StrongFocus);
    setAutoDefault(false);
    setStyleSheet(QStringLiteral(
        "QPushButton { color: black; border: 1px solid black; border-radius: 0px;"
        " background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 rgb(255,255,255),"
        " stop:1 rgb(214,222,232)); }"
        "QPushButton:hover { background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
        " stop:0 rgb(255,255,255), stop:1 rgb(190,210,236)); }"
        "QPushButton:pressed { background-color: rgb(176,196,222); }"
        "QPushButton:focus { border: 1px dotted rgb(10,36,106); }"
        "QPushButton:disabled { color: rgb(150,150,150); border-color: rgb(150,150,150); }"));
    connect(this, &QPushButton::clicked, this, [this] { sui::InvokeHandler(OnClick, this); });
}

void TsuiButton::keyPressEvent(QKeyEvent* event)
{
    // Enter presses a focused button, as Space does.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        if (isEnabled())
            animateClick();
        event->accept();
        return;
    }
    QPushButton::keyPressEvent(event);
}

// ---------------------------------------------------------- picture panel

TsuiImagePanel::TsuiImagePanel(const QString& resourcePath, QWidget* parent)
    : QWidget(parent), Image(resourcePath)
{
    InstallAccessibleFactory();
    setFocusPolicy(Qt::NoFocus);
}

void TsuiImagePanel::SetClickable(bool clickable)
{
    setFocusPolicy(clickable ? Qt::StrongFocus : Qt::NoFocus);
}

void TsuiImagePanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (autoFillBackground())
        painter.fillRect(rect(), palette().color(QPalette::Window));
    if (!Image.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(rect(), Image);
    }
    if (hasFocus()) {
        QPen pen(Qt::black, 1, Qt::DotLine);
        painter.setPen(pen);
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
    }
}

void TsuiImagePanel::mousePressEvent(QMouseEvent* event)
{
    Pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void TsuiImagePanel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = Pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    Pressed = false;
    event->accept();
    if (click)
        sui::InvokeHandler(OnClick, this);
}

void TsuiImagePanel::keyPressEvent(QKeyEvent* event)
{
    if (focusPolicy() != Qt::NoFocus
        && (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        event->accept();
        sui::InvokeHandler(OnClick, this);
        return;
    }
    QWidget::keyPressEvent(event);
}

// ------------------------------------------------------------- status bar

TsuiStatusBar::TsuiStatusBar(QWidget* parent)
    : QWidget(parent)
{
    InstallAccessibleFactory();
    SetBackground(this, sui::BodyColour);
    static constexpr int widths[PanelCount] = {120, 160, 60};
    static constexpr Qt::Alignment alignments[PanelCount] = {
        Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignCenter, Qt::AlignCenter};
    static const char* const descriptions[PanelCount] = {"Port state", "Last exchange", "Time of day"};
    int left = 0;
    for (int i = 0; i < PanelCount; ++i) {
        auto* panel = new QLabel(this);
        panel->setObjectName(QStringLiteral("suiStatusBar1_Panel%1").arg(i));
        panel->setFont(sui::FormFont());
        panel->setAlignment(alignments[i]);
        panel->setGeometry(left, 2, widths[i], 19);
        panel->setIndent(3);
        panel->setAccessibleDescription(QString::fromLatin1(descriptions[i]));
        Panels[i] = panel;
        left += widths[i];
    }
}

void TsuiStatusBar::SetPanelText(int index, const QString& text)
{
    if (index < 0 || index >= PanelCount)
        return;
    Panels[index]->setText(text);
}

void TsuiStatusBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(QColor(160, 160, 160));
    painter.drawLine(0, 0, width(), 0);
    for (int i = 0; i < PanelCount; ++i) {
        const QRect r = Panels[i]->geometry();
        painter.drawLine(r.right(), r.top() + 1, r.right(), r.bottom() - 1);
    }
}

// ------------------------------------------------------------------ timer

TTimer::TTimer(QObject* parent)
    : QObject(parent)
{
    Timer.setInterval(1000);
    connect(&Timer, &QTimer::timeout, this, [this] { sui::InvokeHandler(OnTimer, this); });
}

void TTimer::SetEnabled(bool enabled)
{
    if (enabled)
        Timer.start();
    else
        Timer.stop();
}

void TTimer::SetInterval(int ms)
{
    const bool running = Timer.isActive();
    Timer.setInterval(ms);
    if (running)
        Timer.start();
}
