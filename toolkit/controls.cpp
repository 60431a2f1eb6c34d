// Components and controls over Qt widgets.
#include "controls.h"
#include "controlwidgets.h"
#include "forms.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QTextBoundaryFinder>
#include <QToolButton>

#include <algorithm>
#include <charconv>
#include <climits>

// ---------------------------------------------------------------------------------------------
// Components

TComponent::TComponent(TComponent* owner) : owner_(owner)
{
    if (owner_)
        owner_->components_.push_back(this);
}

TComponent::~TComponent()
{
    DestroyComponents();
    if (owner_) {
        auto& siblings = owner_->components_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
}

void TComponent::DestroyComponents()
{
    while (!components_.empty()) {
        TComponent* last = components_.back();
        components_.pop_back();
        last->owner_ = nullptr;
        delete last;
    }
}

// ---------------------------------------------------------------------------------------------
// The event bridge

namespace tk {

namespace {
const char* const ControlProperty = "pagoraControl";

TMouseButton ButtonOf(Qt::MouseButton button)
{
    switch (button) {
    case Qt::RightButton: return mbRight;
    case Qt::MiddleButton: return mbMiddle;
    default: return mbLeft;
    }
}

TShiftState ShiftOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons)
{
    TShiftState shift = 0;
    if (modifiers & Qt::ShiftModifier) shift |= ssShift;
    if (modifiers & Qt::AltModifier) shift |= ssAlt;
    if (modifiers & Qt::ControlModifier) shift |= ssCtrl;
    if (buttons & Qt::LeftButton) shift |= ssLeft;
    if (buttons & Qt::RightButton) shift |= ssRight;
    if (buttons & Qt::MiddleButton) shift |= ssMiddle;
    return shift;
}

// Controls whose click comes from a left press and release on them, not from a Qt signal.
bool ClicksOnRelease(const TControl* control)
{
    return dynamic_cast<const TImage*>(control) || dynamic_cast<const TMemo*>(control) ||
           dynamic_cast<const TLabel*>(control) || dynamic_cast<const TPanel*>(control);
}

// The form a control lies on, if any.
TForm* FormOf(TControl* control)
{
    while (control) {
        if (auto* form = dynamic_cast<TForm*>(control))
            return form;
        control = control->Parent();
    }
    return nullptr;
}

void ShowPopupMenu(TPopupMenu* menu, const QPoint& globalPos)
{
    QMenu qmenu;
    for (TMenuItem* item : menu->Items()) {
        QAction* action = qmenu.addAction(ToQt(item->Caption()));
        QObject::connect(action, &QAction::triggered, [item] { Raise(item->OnClick, item); });
    }
    qmenu.exec(globalPos);
}
} // namespace

TControl* ControlOf(const QObject* object)
{
    return object ? static_cast<TControl*>(object->property(ControlProperty).value<void*>()) : nullptr;
}

void BindWidget(QWidget* widget, TControl* control)
{
    widget->setProperty(ControlProperty, QVariant::fromValue<void*>(control));
    widget->setMouseTracking(true);
    widget->installEventFilter(&EventBridge::Instance());
}

EventBridge& EventBridge::Instance()
{
    static EventBridge bridge;
    return bridge;
}

QEvent::Type FontChangedEvent()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// A font changes attribute by attribute (face, then size, then style), and every font a
// widget takes loads a font engine and lays its text out again. So a changed font reaches its
// widget once, when the event loop next runs, ahead of the paint that shows it.
void FontChanged(TControl* control)
{
    TControl::Impl& impl = control->impl();
    if (impl.fontChanged || !impl.widget)
        return;
    impl.fontChanged = true;
    QCoreApplication::postEvent(impl.widget, new QEvent(FontChangedEvent()), Qt::HighEventPriority);
}

void ApplyChangedFonts() { QCoreApplication::sendPostedEvents(nullptr, FontChangedEvent()); }

void Raise(const TNotifyEvent& handler, TObject* sender)
{
    if (handler)
        Dispatch([&] { handler(sender); });
}

namespace {

// Only a left press captures the pointer: while the right or middle button alone is held,
// moves and the release belong to the control under the pointer, as on Windows. Qt grabs for
// every button, so such events are handed on here. Returns whether the event was handed on.
bool HandOnUncaptured(QWidget* receiver, QMouseEvent* mouse)
{
    Qt::MouseButtons held = mouse->buttons();
    if (mouse->type() == QEvent::MouseButtonRelease)
        held |= mouse->button();
    if (!(held & (Qt::RightButton | Qt::MiddleButton)) || (held & Qt::LeftButton))
        return false;
    static bool handingOn = false;
    if (handingOn)
        return false;
    QWidget* under = QApplication::widgetAt(mouse->globalPosition().toPoint());
    if (!under || under == receiver || !ControlOf(under))
        return false;
    QMouseEvent copy(mouse->type(), under->mapFromGlobal(mouse->globalPosition()), mouse->globalPosition(),
                     mouse->button(), mouse->buttons(), mouse->modifiers());
    handingOn = true;
    QCoreApplication::sendEvent(under, &copy);
    handingOn = false;
    return true;
}

} // namespace

namespace {

bool IsMouseEvent(QEvent::Type type)
{
    return type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick || type == QEvent::MouseMove ||
           type == QEvent::MouseButtonRelease;
}

// Qt hands a mouse event that a widget leaves unaccepted on to its parent (a button ignores a
// right press, most widgets ignore moves). Over a control, a press, a move or a release belongs
// to that control alone, so an event handed on from a child is not raised again for the
// parent's control: a right press on a button in a panel must not start dragging the panel.
bool HandedOnFromChild(QObject* watched, QMouseEvent* mouse)
{
    // Qt hands on a copy of the event, with the same time stamp and global position.
    static quint64 lastTimestamp = 0;
    static QEvent::Type lastType = QEvent::None;
    static QPointF lastGlobal;
    static QPointer<QWidget> lastReceiver;
    auto* widget = static_cast<QWidget*>(watched);
    bool handedOn = mouse->timestamp() == lastTimestamp && mouse->type() == lastType &&
                    mouse->globalPosition() == lastGlobal && lastReceiver && lastReceiver != widget &&
                    widget->isAncestorOf(lastReceiver);
    if (!handedOn) {
        lastTimestamp = mouse->timestamp();
        lastType = mouse->type();
        lastGlobal = mouse->globalPosition();
        lastReceiver = widget;
    }
    return handedOn;
}

} // namespace

bool EventBridge::eventFilter(QObject* watched, QEvent* event)
{
    TControl* control = ControlOf(watched);
    if (!control)
        return false;
    if (event->type() == FontChangedEvent()) {
        control->impl().fontChanged = false;
        ApplyFont(control->impl().widget, *control->Font());
        return true;
    }
    if (IsMouseEvent(event->type()) && HandedOnFromChild(watched, static_cast<QMouseEvent*>(event)))
        return false;
    if ((event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonRelease) &&
        HandOnUncaptured(static_cast<QWidget*>(watched), static_cast<QMouseEvent*>(event)))
        return true;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        QPoint pos = mouse->position().toPoint();
        TShiftState shift = ShiftOf(mouse->modifiers(), mouse->buttons());
        TMouseButton button = ButtonOf(mouse->button());
        if (event->type() == QEvent::MouseButtonDblClick) {
            // The second press of a double click: the double click first, then a press.
            if (button == mbLeft)
                Raise(control->OnDblClick, control);
            shift |= ssDouble;
        }
        if (control->OnMouseDown)
            Dispatch([&] { control->OnMouseDown(control, button, shift, pos.x(), pos.y()); });
        return false;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        QPoint pos = mouse->position().toPoint();
        TShiftState shift = ShiftOf(mouse->modifiers(), mouse->buttons());
        if (control->OnMouseMove)
            Dispatch([&] { control->OnMouseMove(control, shift, pos.x(), pos.y()); });
        return false;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        QPoint pos = mouse->position().toPoint();
        TShiftState shift = ShiftOf(mouse->modifiers(), mouse->buttons());
        TMouseButton button = ButtonOf(mouse->button());
        auto* widget = static_cast<QWidget*>(watched);
        bool inside = widget->rect().contains(pos);
        if (control->OnMouseUp)
            Dispatch([&] { control->OnMouseUp(control, button, shift, pos.x(), pos.y()); });
        if (button == mbLeft && inside && ClicksOnRelease(control))
            Raise(control->OnClick, control);
        return false;
    }
    case QEvent::ContextMenu: {
        // A control without a menu of its own offers its window's popup menu.
        TForm* form = FormOf(control);
        if (form && form->PopupMenu()) {
            ShowPopupMenu(form->PopupMenu(), static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}


} // namespace tk

using tk::FromQt;
using tk::ToQt;

namespace {

template <class W>
W* WidgetOf(const TControl* control)
{
    return static_cast<W*>(const_cast<TControl*>(control)->impl().widget.data());
}

std::unique_ptr<TControl::Impl> MakeImpl(QWidget* widget)
{
    auto impl = std::make_unique<TControl::Impl>();
    impl->widget = widget;
    return impl;
}

// Held text with CR LF line ends <-> Qt's text with LF line ends.
QString ToQtLines(const AnsiString& text)
{
    QString result = ToQt(text);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return result;
}

AnsiString FromQtLines(const QString& text)
{
    QString result = text;
    result.replace(QChar('\n'), QStringLiteral("\r\n"));
    return FromQt(result);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TControl

TControl::TControl(TComponent* owner, std::unique_ptr<Impl> impl) : TComponent(owner), impl_(std::move(impl))
{
    QWidget* widget = impl_->widget;
    tk::BindWidget(widget, this);
    font_.OnChange = [this] {
        parentFont_ = false;
        tk::FontChanged(this);
    };
    tk::ApplyFont(widget, font_);
}

TControl::~TControl()
{
    font_.OnChange = nullptr;
    delete impl_->widget.data();
}

void TControl::SetParent(TWinControl* parent)
{
    if (parent == parent_)
        return;
    QWidget* widget = impl_->widget;
    parent_ = parent;
    widget->setParent(parent ? parent->impl().widget.data() : nullptr);
    if (parent && parentFont_) {
        font_.Assign(*parent->Font());
        parentFont_ = true;
    }
    if (parent)
        widget->setVisible(impl_->visible);
}

int TControl::Left() const
{
    QWidget* w = impl_->widget;
    return impl_->topLevel ? w->frameGeometry().x() : w->x();
}

int TControl::Top() const
{
    QWidget* w = impl_->widget;
    return impl_->topLevel ? w->frameGeometry().y() : w->y();
}

int TControl::Width() const
{
    QWidget* w = impl_->widget;
    return impl_->topLevel ? w->frameGeometry().width() : w->width();
}

int TControl::Height() const
{
    QWidget* w = impl_->widget;
    return impl_->topLevel ? w->frameGeometry().height() : w->height();
}

void TControl::SetLeft(int value) { SetBounds(value, Top(), Width(), Height()); }
void TControl::SetTop(int value) { SetBounds(Left(), value, Width(), Height()); }
void TControl::SetWidth(int value) { SetBounds(Left(), Top(), value, Height()); }
void TControl::SetHeight(int value) { SetBounds(Left(), Top(), Width(), value); }

namespace {
constexpr int MaxWindowSize = 8192;
}

void TControl::SetBounds(int left, int top, int width, int height)
{
    QWidget* w = impl_->widget;
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (left == Left() && top == Top() && width == Width() && height == Height())
        return;
    if (impl_->topLevel) {
        // A work file may ask for any window size; a window far beyond any screen could not
        // even get its drawing buffer, so a window is held to a size a screen can show, and to
        // the least size of a captioned window, below which it would vanish.
        width = std::clamp(width, MinFormWidth, MaxWindowSize);
        height = std::clamp(height, MinFormHeight, MaxWindowSize);
        if (left == Left() && top == Top() && width == Width() && height == Height())
            return;
        // Outer size: the frame the window system adds is taken off the client size.
        QSize frame = w->frameGeometry().size() - w->size();
        w->move(left, top);
        w->resize(std::max(width - frame.width(), 1), std::max(height - frame.height(), 1));
    } else {
        w->setGeometry(left, top, width, height);
    }
}

bool TControl::Visible() const { return impl_->topLevel ? impl_->widget->isVisible() : impl_->visible; }

void TControl::SetVisible(bool value)
{
    if (value == Visible())
        return;
    QWidget* w = impl_->widget;
    impl_->visible = value;
    // A control not yet placed on a parent would become a window of its own if shown.
    if (impl_->topLevel || w->parentWidget())
        w->setVisible(value);
}

bool TControl::Enabled() const { return impl_->widget->isEnabled(); }

void TControl::SetEnabled(bool value) { impl_->widget->setEnabled(value); }

AnsiString TControl::Hint() const { return impl_->hint; }

void TControl::SetHint(const AnsiString& hint)
{
    impl_->hint = hint;
    impl_->widget->setToolTip(impl_->showHint ? ToQt(hint) : QString());
}

bool TControl::ShowHint() const { return impl_->showHint; }

void TControl::SetShowHint(bool value)
{
    impl_->showHint = value;
    SetHint(impl_->hint);
}

void TControl::Repaint()
{
    tk::ApplyChangedFonts();
    impl_->widget->repaint();
}

// ---------------------------------------------------------------------------------------------
// TWinControl

void TWinControl::SetFocus()
{
    QWidget* w = impl_->widget;
    QWidget* window = w->window();
    if (!window->isVisible() || !w->isVisible() || !w->isEnabled())
        throw Exception(tk::Ansi("無効/非表示ウィンドウにはフォーカスを設定できません"));
    if (!window->isActiveWindow())
        window->activateWindow();
    w->setFocus(Qt::OtherFocusReason);
}

bool TWinControl::Focused() const
{
    QWidget* w = impl_->widget;
    return w->hasFocus() || (w->focusProxy() && w->focusProxy()->hasFocus());
}

bool TWinControl::TabStop() const { return impl_->widget->focusPolicy() & Qt::TabFocus; }

void TWinControl::SetTabStop(bool value)
{
    impl_->widget->setFocusPolicy(value ? Qt::StrongFocus : Qt::ClickFocus);
}

// ---------------------------------------------------------------------------------------------
// TImage

namespace tk {

void ImageWidget::paintEvent(QPaintEvent*)
{
    const QImage& image = ImageToPaint(*image_->Picture());
    if (image.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (image_->Stretch())
        painter.drawImage(rect(), image);
    else
        painter.drawImage(QPoint(0, 0), image);
}

void ImageWidget::resizeEvent(QResizeEvent*) { image_->Picture()->SetTargetSize(width(), height()); }

} // namespace tk

TImage::TImage(TComponent* owner)
    : TControl(owner, MakeImpl(new tk::ImageWidget(this))), picture_(std::make_unique<TPicture>())
{
    picture_->SetTargetSize(Width(), Height());
    picture_->OnChange = [this] { impl_->widget->update(); };
}

void TImage::SetStretch(bool value)
{
    if (value == stretch_)
        return;
    stretch_ = value;
    impl_->widget->update();
}

// ---------------------------------------------------------------------------------------------
// Text controls

TLabel::TLabel(TComponent* owner) : TControl(owner, MakeImpl(new tk::LabelWidget))
{
    WidgetOf<QLabel>(this)->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

AnsiString TLabel::Caption() const { return FromQt(WidgetOf<QLabel>(this)->text()); }

void TLabel::SetCaption(const AnsiString& caption)
{
    auto* label = WidgetOf<QLabel>(this);
    label->setText(ToQt(caption));
}

namespace {

// Enter presses the focused button, as Space does, the way Windows buttons take it. Qt gives a
// button Enter only inside a dialog, as its default button. A held-down Enter presses once.
class PushButtonWidget : public QPushButton {
protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (!event->isAutoRepeat())
                click();
            event->accept();
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

} // namespace

TButton::TButton(TComponent* owner) : TWinControl(owner, MakeImpl(new PushButtonWidget))
{
    QObject::connect(WidgetOf<QPushButton>(this), &QPushButton::clicked, [this] { tk::Raise(OnClick, this); });
}

AnsiString TButton::Caption() const { return FromQt(WidgetOf<QPushButton>(this)->text()); }

void TButton::SetCaption(const AnsiString& caption) { WidgetOf<QPushButton>(this)->setText(ToQt(caption)); }

namespace {

// A glyph button draws its picture pixel for pixel, centred on its face whatever its size, and
// one pixel down and to the right while it is pressed, as Windows glyph buttons do; Qt's tool
// button would fit the picture into its margins and smooth it. The colour of the picture's
// bottom-left pixel is its background and lets the face show through, as on Windows, so that
// the raised face of a flat button under the pointer shows no box around the picture.
class SpeedButtonWidget : public QToolButton {
public:
    void SetGlyph(const QImage& picture)
    {
        glyph_ = picture.convertToFormat(QImage::Format_ARGB32);
        if (!glyph_.isNull()) {
            const QRgb background = glyph_.pixel(0, glyph_.height() - 1);
            for (int y = 0; y < glyph_.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(glyph_.scanLine(y));
                for (int x = 0; x < glyph_.width(); ++x)
                    if (line[x] == background)
                        line[x] = qRgba(0, 0, 0, 0);
            }
        }
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        QStyleOptionToolButton face;
        initStyleOption(&face);
        face.icon = QIcon();
        face.text.clear();
        painter.drawComplexControl(QStyle::CC_ToolButton, face);
        QPoint at((width() - glyph_.width()) / 2, (height() - glyph_.height()) / 2);
        if (isDown())
            at += QPoint(1, 1);
        painter.drawImage(at, glyph_);
    }

private:
    QImage glyph_;
};

} // namespace

TSpeedButton::TSpeedButton(TComponent* owner) : TControl(owner, MakeImpl(new SpeedButtonWidget))
{
    auto* button = WidgetOf<QToolButton>(this);
    button->setFocusPolicy(Qt::NoFocus);
    QObject::connect(button, &QToolButton::clicked, [this] { tk::Raise(OnClick, this); });
}

void TSpeedButton::SetGlyph(const std::string& resourceName)
{
    WidgetOf<SpeedButtonWidget>(this)->SetGlyph(tk::ResourceImage(resourceName));
}

void TSpeedButton::SetFlat(bool value) { WidgetOf<QToolButton>(this)->setAutoRaise(value); }

namespace {

// Windows draws a check box's square 13 pixels wide with a gap of 3 before the caption, and
// the layouts give each box just the room that takes. Qt's styles draw both wider, which would
// cut the captions.
class CheckBoxStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        switch (metric) {
        case PM_IndicatorWidth:
        case PM_IndicatorHeight: return 13;
        case PM_CheckBoxLabelSpacing: return 3;
        default: return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }
};

QCheckBox* MakeCheckBox()
{
    // One style for every box, made once the application is there and kept to the end.
    static QStyle* const style = new CheckBoxStyle;
    auto* box = new QCheckBox;
    box->setStyle(style);
    return box;
}

} // namespace

TCheckBox::TCheckBox(TComponent* owner) : TWinControl(owner, MakeImpl(MakeCheckBox()))
{
    QObject::connect(WidgetOf<QCheckBox>(this), &QCheckBox::toggled, [this] { tk::Raise(OnClick, this); });
}

AnsiString TCheckBox::Caption() const { return FromQt(WidgetOf<QCheckBox>(this)->text()); }

void TCheckBox::SetCaption(const AnsiString& caption) { WidgetOf<QCheckBox>(this)->setText(ToQt(caption)); }

bool TCheckBox::Checked() const { return WidgetOf<QCheckBox>(this)->isChecked(); }

void TCheckBox::SetChecked(bool value)
{
    auto* box = WidgetOf<QCheckBox>(this);
    if (value == box->isChecked())
        return;
    {
        QSignalBlocker block(box);
        box->setChecked(value);
    }
    if (OnClick)
        OnClick(this);
}

TEdit::TEdit(TComponent* owner) : TWinControl(owner, MakeImpl(new QLineEdit))
{
    auto* edit = WidgetOf<QLineEdit>(this);
    QObject::connect(edit, &QLineEdit::textEdited, [this] { tk::Raise(OnChange, this); });
}

AnsiString TEdit::Text() const { return FromQt(WidgetOf<QLineEdit>(this)->text()); }

void TEdit::SetText(const AnsiString& text)
{
    auto* edit = WidgetOf<QLineEdit>(this);
    QString value = ToQt(text);
    if (value == edit->text())
        return;
    edit->setText(value);
    edit->setCursorPosition(0);
    if (OnChange)
        OnChange(this);
}

bool TEdit::ReadOnly() const { return WidgetOf<QLineEdit>(this)->isReadOnly(); }

void TEdit::SetReadOnly(bool value) { WidgetOf<QLineEdit>(this)->setReadOnly(value); }

namespace tk {

MemoWidget::MemoWidget()
{
    setAcceptDrops(false);
    viewport()->setAcceptDrops(false);
    // Typed or pasted text may make a long run or take the last one away.
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (settingText_)
            return;
        const QTextOption::WrapMode mode = WrapModeFor(toPlainText());
        if (mode != wordWrapMode())
            setWordWrapMode(mode);
    });
}

bool MemoWidget::HoldsLongUnbrokenRun(const QString& text)
{
    // Blanks always allow a break, so only a long stretch without one needs a closer look;
    // inside it, Japanese text may break between most characters.
    qsizetype stretchStart = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !text.at(i).isSpace())
            continue;
        if (i - stretchStart > kLongestUnbrokenRun) {
            const QString stretch = text.mid(stretchStart, i - stretchStart);
            QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, stretch);
            for (qsizetype from = 0, to = breaks.toNextBoundary(); to != -1; from = to, to = breaks.toNextBoundary())
                if (to - from > kLongestUnbrokenRun)
                    return true;
        }
        stretchStart = i + 1;
    }
    return false;
}

QTextOption::WrapMode MemoWidget::WrapModeFor(const QString& text)
{
    return HoldsLongUnbrokenRun(text) ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere;
}

void MemoWidget::SetPlainText(const QString& text)
{
    settingText_ = true;
    // The old text goes first, and a font changed just before arrives now: the new text is
    // laid out once, in its font and its wrapping mode, and the old one not again.
    setPlainText(QString());
    QCoreApplication::sendPostedEvents(this, FontChangedEvent());
    const QTextOption::WrapMode mode = WrapModeFor(text);
    if (mode != wordWrapMode())
        setWordWrapMode(mode);
    setPlainText(text);
    settingText_ = false;
}

void MemoWidget::mousePressEvent(QMouseEvent* event)
{
    // With Shift the press extends the selection from its anchor, and starts no drag.
    if (event->button() == Qt::LeftButton && !(event->modifiers() & Qt::ShiftModifier)) {
        QTextCursor cursor = textCursor();
        if (cursor.hasSelection()) {
            cursor.clearSelection();
            setTextCursor(cursor);
        }
    }
    QPlainTextEdit::mousePressEvent(event);
}

void MemoWidget::insertFromMimeData(const QMimeData* source)
{
    // Before the text arrives, so that it is never laid out word by word.
    if (source && source->hasText() && HoldsLongUnbrokenRun(source->text()))
        setWordWrapMode(QTextOption::WrapAnywhere);
    QPlainTextEdit::insertFromMimeData(source);
}

} // namespace tk

TMemo::TMemo(TComponent* owner) : TWinControl(owner, MakeImpl(new tk::MemoWidget))
{
    auto* memo = WidgetOf<tk::MemoWidget>(this);
    // Lines wrap at the width, and there are no scroll bars.
    memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->document()->setDocumentMargin(1);
    // Mouse events arrive at the text area inside the border, in its coordinates.
    tk::BindWidget(memo->viewport(), this);
    QObject::connect(memo, &QPlainTextEdit::textChanged, [this, memo] {
        if (!memo->SettingText())
            tk::Raise(OnChange, this);
    });
}

AnsiString TMemo::Text() const { return FromQtLines(WidgetOf<tk::MemoWidget>(this)->toPlainText()); }

void TMemo::SetText(const AnsiString& text)
{
    auto* memo = WidgetOf<tk::MemoWidget>(this);
    QString value = ToQtLines(text);
    if (value == memo->toPlainText())
        return;
    memo->SetPlainText(value);
    if (OnChange)
        OnChange(this);
}

bool TMemo::ReadOnly() const { return WidgetOf<tk::MemoWidget>(this)->isReadOnly(); }

void TMemo::SetReadOnly(bool value) { WidgetOf<tk::MemoWidget>(this)->setReadOnly(value); }

// ---------------------------------------------------------------------------------------------
// Containers

TPanel::TPanel(TComponent* owner) : TWinControl(owner, MakeImpl(new tk::PanelWidget))
{
    auto* frame = WidgetOf<QFrame>(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setLineWidth(1);
    frame->setAutoFillBackground(true);
}

void TPanel::SetCaption(const AnsiString&) {}

namespace {
// Windows draws a group's caption on its frame line, so the client area starts near the top;
// the programs place their items by that rule.
void FrameCaptionOnLine(QGroupBox* box)
{
    box->setStyleSheet(QStringLiteral("QGroupBox { border: 1px solid palette(mid); margin-top: 6px; }"
                                      "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));
}
} // namespace

TGroupBox::TGroupBox(TComponent* owner) : TWinControl(owner, MakeImpl(new QGroupBox))
{
    FrameCaptionOnLine(WidgetOf<QGroupBox>(this));
}

AnsiString TGroupBox::Caption() const { return FromQt(WidgetOf<QGroupBox>(this)->title()); }

void TGroupBox::SetCaption(const AnsiString& caption) { WidgetOf<QGroupBox>(this)->setTitle(ToQt(caption)); }

namespace tk {

RadioGroupWidget::RadioGroupWidget(TRadioGroup* group) : group_(group)
{
    buttons.setExclusive(true);
    // An item checked by the user, whatever the path (a click, the arrow keys, a screen reader
    // or switch access through the accessibility interface, which toggles without clicking),
    // selects it. An item that code checks is the selected one already.
    QObject::connect(&buttons, &QButtonGroup::idToggled, [group](int id, bool checked) {
        if (checked && id != group->ItemIndex())
            Dispatch([&] { group->SetItemIndex(id); });
    });
}

void RadioGroupWidget::resizeEvent(QResizeEvent*) { group_->Relayout(); }

void RadioGroupWidget::changeEvent(QEvent* event)
{
    QGroupBox::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        group_->Relayout();
}

} // namespace tk

TRadioGroup::TRadioGroup(TComponent* owner) : TWinControl(owner, MakeImpl(new tk::RadioGroupWidget(this)))
{
    FrameCaptionOnLine(WidgetOf<QGroupBox>(this));
}

AnsiString TRadioGroup::Caption() const { return FromQt(WidgetOf<QGroupBox>(this)->title()); }

void TRadioGroup::SetCaption(const AnsiString& caption) { WidgetOf<QGroupBox>(this)->setTitle(ToQt(caption)); }

void TRadioGroup::SetItems(const std::vector<AnsiString>& items)
{
    auto* widget = WidgetOf<tk::RadioGroupWidget>(this);
    for (QAbstractButton* button : widget->buttons.buttons()) {
        widget->buttons.removeButton(button);
        delete button;
    }
    items_ = items;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        auto* radio = new QRadioButton(ToQt(items_[i]), widget);
        radio->setChecked(static_cast<int>(i) == itemIndex_);
        widget->buttons.addButton(radio, static_cast<int>(i));
        radio->show();
    }
    Relayout();
}

void TRadioGroup::SetItemIndex(int index)
{
    if (index < -1 || index >= static_cast<int>(items_.size()))
        index = -1;
    if (index == itemIndex_)
        return;
    itemIndex_ = index;
    auto* widget = WidgetOf<tk::RadioGroupWidget>(this);
    {
        // Unchecking every item needs a non-exclusive group for a moment.
        widget->buttons.setExclusive(false);
        for (QAbstractButton* button : widget->buttons.buttons())
            button->setChecked(widget->buttons.id(button) == index);
        widget->buttons.setExclusive(true);
    }
    if (OnClick)
        OnClick(this);
}

void TRadioGroup::Relayout()
{
    auto* widget = WidgetOf<tk::RadioGroupWidget>(this);
    auto buttons = widget->buttons.buttons();
    if (buttons.isEmpty())
        return;
    // Items share the height below the caption evenly, as Windows radio groups lay them out.
    int top = QFontMetrics(widget->font()).height() + 2;
    int available = std::max(widget->height() - top - 4, 0);
    int step = available / static_cast<int>(buttons.size());
    for (QAbstractButton* button : buttons) {
        int id = widget->buttons.id(button);
        int rowHeight = std::max(step, button->sizeHint().height());
        int y = top + id * step + (step - button->sizeHint().height()) / 2;
        button->setGeometry(8, std::max(y, top), std::max(widget->width() - 12, 0),
                            std::min(rowHeight, button->sizeHint().height()));
    }
}

// ---------------------------------------------------------------------------------------------
// TSpinEdit

namespace {

// The whole number a text holds: optional sign and decimal digits within 32 bits.
bool ParseWholeNumber(const QString& text, int& value)
{
    std::string s = text.toStdString();
    const char* first = s.data();
    const char* last = s.data() + s.size();
    if (first != last && *first == '+')
        ++first;
    // One sign at most: from_chars would take the "-" of "+-5".
    if (first == last || (first != s.data() && *first == '-'))
        return false;
    long long parsed = 0;
    auto result = std::from_chars(first, last, parsed);
    if (result.ec != std::errc() || result.ptr != last || parsed < INT_MIN || parsed > INT_MAX)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

} // namespace

namespace tk {

SpinWidget::SpinWidget(TSpinEdit* spin) : spin_(spin)
{
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setKeyboardTracking(true);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    QObject::connect(lineEdit(), &QLineEdit::textChanged, [spin] { Raise(spin->OnChange, spin); });
}

QAbstractSpinBox::StepEnabled SpinWidget::stepEnabled() const
{
    // A step always lands within the range, so a typed value beyond a bound steps to that
    // bound in either direction; only a value on a bound cannot step past it.
    const int value = spin_->Value();
    StepEnabled enabled = StepNone;
    if (value != spin_->MaxValue())
        enabled |= StepUpEnabled;
    if (value != spin_->MinValue())
        enabled |= StepDownEnabled;
    return enabled;
}

void SpinWidget::stepBy(int steps)
{
    long long next = static_cast<long long>(spin_->Value()) + static_cast<long long>(steps) * spin_->increment_;
    next = std::clamp<long long>(next, spin_->MinValue(), spin_->MaxValue());
    // A step is the user's change: its change event runs from the text change.
    lineEdit()->setText(QString::number(next));
}

QValidator::State SpinWidget::validate(QString&, int&) const
{
    // What may be typed is filtered key by key; pasted text is taken as it is.
    return QValidator::Acceptable;
}

void SpinWidget::keyPressEvent(QKeyEvent* event)
{
    QString text = event->text();
    bool printable = !text.isEmpty() && text.at(0).isPrint();
    if (printable) {
        QString allowed = QStringLiteral("0123456789+-") + QLocale().decimalPoint();
        for (QChar c : text) {
            if (!allowed.contains(c)) {
                QApplication::beep();
                event->accept();
                return;
            }
        }
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QApplication::beep();
        event->accept();
        return;
    }
    // Only Up and Down step, by one; Page Up and Page Down, which would step by ten, do
    // nothing in a text field.
    if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) {
        event->accept();
        return;
    }
    QAbstractSpinBox::keyPressEvent(event);
}

// The wheel does not step the field: its arrows and the Up and Down keys do. The turn goes on
// to the window under it.
void SpinWidget::wheelEvent(QWheelEvent* event) { event->ignore(); }

void SpinWidget::focusOutEvent(QFocusEvent* event)
{
    QAbstractSpinBox::focusOutEvent(event);
    // Only the focus moving to another control leaves the field. Another window becoming
    // active (the viewer's player, shown by a button that takes no focus) or a menu opening
    // keeps the typed value, which the field still holds when its window comes back.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    int value = spin_->Value();
    int clamped = std::clamp(value, spin_->MinValue(), spin_->MaxValue());
    if (clamped != value)
        Dispatch([&] { spin_->SetValue(clamped); });
}

} // namespace tk

TSpinEdit::TSpinEdit(TComponent* owner) : TWinControl(owner, MakeImpl(new tk::SpinWidget(this)))
{
    auto* widget = WidgetOf<tk::SpinWidget>(this);
    tk::BindWidget(widget->Editor(), this);
    QSignalBlocker block(widget->Editor());
    widget->Editor()->setText(QStringLiteral("0"));
}

void TSpinEdit::SetMinValue(int value) { min_ = value; }

void TSpinEdit::SetMaxValue(int value) { max_ = value; }

int TSpinEdit::Value() const
{
    int value = 0;
    return ParseWholeNumber(WidgetOf<tk::SpinWidget>(this)->Editor()->text(), value) ? value : min_;
}

void TSpinEdit::SetValue(int value)
{
    if (max_ != min_)
        value = std::clamp(value, min_, max_);
    SetText(std::to_string(value));
}

void TSpinEdit::SelectAll() { WidgetOf<tk::SpinWidget>(this)->Editor()->selectAll(); }

AnsiString TSpinEdit::Text() const { return FromQt(WidgetOf<tk::SpinWidget>(this)->Editor()->text()); }

void TSpinEdit::SetText(const AnsiString& text)
{
    QLineEdit* editor = WidgetOf<tk::SpinWidget>(this)->Editor();
    QString value = ToQt(text);
    if (value == editor->text())
        return;
    {
        QSignalBlocker block(editor);
        editor->setText(value);
    }
    if (OnChange)
        OnChange(this);
}

// ---------------------------------------------------------------------------------------------
// TTimer

TTimer::TTimer(TComponent* owner) : TComponent(owner), impl_(std::make_unique<Impl>())
{
    impl_->timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&impl_->timer, &QTimer::timeout, [this] { tk::Raise(OnTimer, this); });
    Update();
}

TTimer::~TTimer() = default;

void TTimer::SetInterval(unsigned ms)
{
    if (ms == interval_)
        return;
    interval_ = ms;
    Update();
}

void TTimer::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    Update();
}

void TTimer::Update()
{
    impl_->timer.stop();
    // An interval of 0 never ticks (a zero Qt timer would tick at every pass of the loop).
    if (enabled_ && interval_ > 0)
        impl_->timer.start(static_cast<int>(std::min<unsigned>(interval_, INT_MAX)));
}

// ---------------------------------------------------------------------------------------------
// Menus

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {}

TPopupMenu::TPopupMenu(TComponent* owner) : TComponent(owner) {}
