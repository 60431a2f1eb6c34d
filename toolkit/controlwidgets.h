// Inside the toolkit only: the Qt widgets behind the controls, and the event bridge that turns
// Qt's input events into the controls' events.
#pragma once

#include "controls.h"
#include "qtbridge.h"

#include <QAbstractSpinBox>
#include <QButtonGroup>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QObject>
#include <QPlainTextEdit>
#include <QTimer>

namespace tk {

// The control a widget stands for (set on the widget and on its inner widgets).
TControl* ControlOf(const QObject* object);
void BindWidget(QWidget* widget, TControl* control);

// Delivers mouse events of bound widgets to their controls, and clicks for the controls that
// click on release (pictures, texts, labels, panels).
class EventBridge : public QObject {
public:
    static EventBridge& Instance();
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Widgets with a surface of their own take the mouse events they get, so a press on a label
// inside a panel belongs to the label, not to the panel.
template <class Base>
class SurfaceOf : public Base {
public:
    using Base::Base;

protected:
    void mousePressEvent(QMouseEvent* event) override { event->accept(); }
    void mouseReleaseEvent(QMouseEvent* event) override { event->accept(); }
    void mouseDoubleClickEvent(QMouseEvent* event) override { event->accept(); }
};

using SurfaceWidget = SurfaceOf<QWidget>;
using LabelWidget = SurfaceOf<QLabel>;
using PanelWidget = SurfaceOf<QFrame>;

class ImageWidget : public SurfaceWidget {
public:
    explicit ImageWidget(TImage* image) : image_(image) {}

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    TImage* image_;
};

// The widget behind a memo: a multi-line edit as Windows has it. A press inside the selection
// places the caret rather than picking the selected text up, and nothing is dropped on it: a
// text drag would run a loop of its own that keeps the press, moves and release from the
// control's handlers.
//
// Qt lays out a run of text without a break opportunity in time quadratic in its length: each
// line of the run first measures all the rest of the run, finds that it does not fit, and only
// then lays itself out again breaking anywhere. A memo that holds a run longer than
// kLongestUnbrokenRun characters therefore breaks anywhere from the start, which puts the lines
// of such a run exactly where Qt's fallback puts them; elsewhere in that memo a word may then be
// split at the end of a line instead of moving to the next one.
class MemoWidget : public QPlainTextEdit {
public:
    static constexpr int kLongestUnbrokenRun = 1024;

    MemoWidget();
    // Sets the text as code does: no change is reported to the memo while it is being set.
    void SetPlainText(const QString& text);
    bool SettingText() const { return settingText_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    static bool HoldsLongUnbrokenRun(const QString& text);
    static QTextOption::WrapMode WrapModeFor(const QString& text);
    bool settingText_ = false;
};

class RadioGroupWidget : public QGroupBox {
public:
    explicit RadioGroupWidget(TRadioGroup* group);
    QButtonGroup buttons;

protected:
    void resizeEvent(QResizeEvent* event) override;
    // The items are placed by the caption's height.
    void changeEvent(QEvent* event) override;

private:
    TRadioGroup* group_;
};

class SpinWidget : public QAbstractSpinBox {
public:
    explicit SpinWidget(TSpinEdit* spin);
    QLineEdit* Editor() const { return lineEdit(); }
    void stepBy(int steps) override;

protected:
    StepEnabled stepEnabled() const override;
    QValidator::State validate(QString& input, int& pos) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    TSpinEdit* spin_;
};

// The event that carries a changed font to its widget, and the change that posts it.
QEvent::Type FontChangedEvent();
void FontChanged(TControl* control);

// Runs a control's event handler from a Qt signal or event.
void Raise(const TNotifyEvent& handler, TObject* sender);

} // namespace tk

struct TTimer::Impl {
    QTimer timer;
};
