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

class RadioGroupWidget : public QGroupBox {
public:
    explicit RadioGroupWidget(TRadioGroup* group);
    QButtonGroup buttons;

protected:
    void resizeEvent(QResizeEvent* event) override;

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

// Runs a control's event handler from a Qt signal or event.
void Raise(const TNotifyEvent& handler, TObject* sender);

} // namespace tk

struct TTimer::Impl {
    QTimer timer;
};
