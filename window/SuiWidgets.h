// A small stand-in for the skinned component pack the window was drawn
// with: a frame with its own title bar, group boxes, drop-down lists, a
// number edit, buttons, picture panels, a status bar and a timer, each
// built on one Qt widget so that accessibility tools see real widgets.
//
// Handlers are plain callables taking the sender. Whatever a handler
// throws is shown by the application object (ShowHandlerException) and the
// component carries on, as the rest of the window's events do.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>

class QMenu;

using TNotifyEvent = std::function<void(QObject* Sender)>;

namespace sui {

// Colours of the Protein look.
inline constexpr QRgb BodyColour = qRgb(251, 251, 251);
inline constexpr QRgb ListColour = qRgb(0, 255, 0);          // clLime
inline constexpr QRgb MoneyGreen = qRgb(192, 220, 192);      // clMoneyGreen
inline constexpr QRgb GradientActiveCaption = qRgb(185, 209, 234);
inline constexpr QRgb PictureRed = qRgb(255, 0, 0);          // clRed

// "MS Sans Serif" where installed, else the closest sans face, 11 pixels.
QFont FormFont();
// "Tahoma" bold, 11 pixels, for the caption.
QFont CaptionFont();

// Calls a handler; what it throws goes to the application object.
void InvokeHandler(const TNotifyEvent& handler, QObject* sender);

} // namespace sui

// The title bar's own buttons: drawn transparent, never in the tab order
// (the keyboard has Alt+Space and Alt+F4 for what they do).
class TsuiTitleButton : public QPushButton
{
public:
    enum Kind { ControlBox, CloseBox };
    TsuiTitleButton(Kind kind, QWidget* parent);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Kind ButtonKind;
};

// The skinned frame: body colour, 1-pixel black border and a 24-pixel
// title bar with the application icon, the caption, a control-box button
// (the system menu) and a close button. The title bar moves the window.
class TsuiForm : public QWidget
{
public:
    static constexpr int TitleBarHeight = 24;

    explicit TsuiForm(QWidget* parent);

    void SetCaption(const QString& caption);
    QString Caption() const;
    void SetIcon(const QPixmap& icon);
    // Opens the system menu under the control-box button.
    void ShowSystemMenu();

    QLabel* CaptionLabel() const { return CaptionText; }
    TsuiTitleButton* ControlBoxButton() const { return ControlBox; }
    TsuiTitleButton* CloseButton() const { return CloseBox; }
    QMenu* SystemMenu() const { return Menu; }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QLabel* IconLabel;
    QLabel* CaptionText;
    TsuiTitleButton* ControlBox;
    TsuiTitleButton* CloseBox;
    QMenu* Menu;
};

class TsuiGroupBox : public QGroupBox
{
public:
    TsuiGroupBox(const QString& caption, QWidget* parent);

protected:
    void paintEvent(QPaintEvent*) override;
};

class TLabel : public QLabel
{
public:
    TLabel(const QString& caption, QWidget* parent);
};

// A drop-down list: pick one entry, no typing. ItemIndex -1 is no selection.
class TsuiComboBox : public QComboBox
{
public:
    explicit TsuiComboBox(QWidget* parent);

    int ItemIndex() const { return currentIndex(); }
    void SetItemIndex(int index);
    QString Text() const { return currentIndex() < 0 ? QString() : currentText(); }
    void AddItem(const QString& text) { addItem(text); }
    int ItemCount() const { return count(); }
    void Clear() { clear(); }

protected:
    void paintEvent(QPaintEvent*) override;
};

// A number edit: holds Value and shows it right-aligned through Mask (a
// FormatFloat pattern such as "0.00" or "0").
//
// Every change of the text, by typing, pasting or SetValue, first reads a
// text that is neither empty nor a lone "-" into Value (the locale's
// thousands separator left out) and then raises OnChange. A text that does
// not read as a number is replaced by the stored value and the conversion
// error goes to the application object. Typing accepts digits, Backspace,
// one decimal separator when Mask has "." and a leading "-" when Mask has
// "-". Leaving turns an empty text or a lone "-" into 0 and sets Value from
// the text. Entering, and each click, selects the last AutoSelectSigns
// characters.
class TsuiNumberEdit : public QLineEdit
{
public:
    TsuiNumberEdit(const QString& mask, double value, QWidget* parent);

    double Value() const { return StoredValue; }
    void SetValue(double value);
    QString Mask() const { return DisplayMask; }
    QString FormatValue(double value) const;

    int AutoSelectSigns = 2;
    TNotifyEvent OnChange;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void TextChanged(const QString& text);
    void SelectLastSigns();
    bool ReadNumber(const QString& text, double* value) const;

    QString DisplayMask;
    int Decimals = 0;
    double StoredValue = 0.0;
};

class TsuiButton : public QPushButton
{
public:
    TsuiButton(const QString& caption, QWidget* parent);

    QString Caption() const { return text(); }
    void SetCaption(const QString& caption) { setText(caption); }

    TNotifyEvent OnClick;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// A picture stretched over the panel. A picture that cannot be loaded
// leaves the panel showing its background colour only.
class TsuiImagePanel : public QWidget
{
public:
    TsuiImagePanel(const QString& resourcePath, QWidget* parent);

    const QPixmap& Picture() const { return Image; }
    // Takes part in the tab order and answers Space and Enter.
    void SetClickable(bool clickable);

    TNotifyEvent OnClick;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPixmap Image;
    bool Pressed = false;
};

// Panels with a width and an alignment, each a real label, left to right.
class TsuiStatusBar : public QWidget
{
public:
    explicit TsuiStatusBar(QWidget* parent);

    static constexpr int PanelCount = 3;
    QLabel* Panel(int index) const { return Panels[index]; }
    QString PanelText(int index) const { return Panels[index]->text(); }
    void SetPanelText(int index, const QString& text);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::array<QLabel*, PanelCount> Panels{};
};

class TTimer : public QObject
{
public:
    explicit TTimer(QObject* parent);

    bool Enabled() const { return Timer.isActive(); }
    void SetEnabled(bool enabled);
    int Interval() const { return Timer.interval(); }
    void SetInterval(int ms);

    TNotifyEvent OnTimer;

private:
    QTimer Timer;
};
