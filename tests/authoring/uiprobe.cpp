// The Qt side of the test probes.
#include "uiprobe.h"
#include "qtbridge.h"

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTest>

#include <stdexcept>

namespace probe {

namespace {
QImage Comparable(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }

Qt::MouseButtons heldButtons;

Qt::MouseButton QtButton(TMouseButton button)
{
    switch (button) {
    case mbRight: return Qt::RightButton;
    case mbMiddle: return Qt::MiddleButton;
    default: return Qt::LeftButton;
    }
}

// The widget that takes a control's mouse events: a text's events come from its viewport.
QWidget* MouseSurface(TControl* control)
{
    QWidget* widget = control->impl().widget;
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget))
        return area->viewport();
    return widget;
}

void SendMouse(TControl* control, QEvent::Type type, Qt::MouseButton button, QPoint at)
{
    QWidget* surface = MouseSurface(control);
    QMouseEvent event(type, QPointF(at), surface->mapToGlobal(QPointF(at)), button, heldButtons, Qt::NoModifier);
    QCoreApplication::sendEvent(surface, &event);
}
} // namespace

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) { return QTest::qWaitFor(condition, timeoutMs); }

long long NowMs()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.elapsed();
}

void Click(TControl* control) { QTest::mouseClick(control->impl().widget, Qt::LeftButton); }

void Press(TControl* control, TMouseButton button, int x, int y)
{
    heldButtons |= QtButton(button);
    SendMouse(control, QEvent::MouseButtonPress, QtButton(button), QPoint(x, y));
}

void MoveTo(TControl* control, int x, int y) { SendMouse(control, QEvent::MouseMove, Qt::NoButton, QPoint(x, y)); }

void Release(TControl* control, TMouseButton button, int x, int y)
{
    heldButtons &= ~QtButton(button);
    SendMouse(control, QEvent::MouseButtonRelease, QtButton(button), QPoint(x, y));
}

void ForgetHeldButtons() { heldButtons = {}; }

void DoubleClick(TControl* control)
{
    const QPoint middle = MouseSurface(control)->rect().center();
    Press(control, mbLeft, middle.x(), middle.y());
    Release(control, mbLeft, middle.x(), middle.y());
    heldButtons |= Qt::LeftButton;
    SendMouse(control, QEvent::MouseButtonDblClick, Qt::LeftButton, middle);
    Release(control, mbLeft, middle.x(), middle.y());
}

void TypeOver(TControl* control, const std::string& keys)
{
    QWidget* widget = control->impl().widget;
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget))
        spin->selectAll();
    else if (auto* line = qobject_cast<QLineEdit*>(widget))
        line->selectAll();
    QTest::keyClicks(widget, QString::fromStdString(keys));
}

void TypeIntoFocus(const std::string& keys)
{
    QTest::keyClicks(QApplication::focusWidget(), QString::fromStdString(keys));
}

void PressCloseBox(TControl* window) { window->impl().widget->close(); }

void WriteBitmap(const std::string& path, int width, int height, unsigned rgb)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor::fromRgb(rgb));
    if (!image.save(QString::fromStdString(path), "BMP"))
        throw std::runtime_error("cannot write " + path);
}

bool ShowsFile(TPicture* picture, const std::string& path)
{
    // The file decoded for a box of the picture's own size: a large picture is held reduced
    // for its box, and the same reduction gives the same pixels.
    const QImage& shown = picture->impl().image;
    TPicture expected;
    expected.SetTargetSize(shown.width(), shown.height());
    try {
        expected.LoadFromFile(tk::FromUtf8(path));
    } catch (const Exception&) {
        return false;
    }
    return !shown.isNull() && Comparable(shown) == Comparable(expected.impl().image);
}

bool ShowsResource(TPicture* picture, const std::string& name)
{
    QImage expected = tk::ResourceImage(name);
    return !expected.isNull() && Comparable(picture->impl().image) == Comparable(expected);
}

} // namespace probe
