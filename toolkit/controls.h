// The component library: components, controls and their events.
//
// Controls keep Qt behind an implementation pointer. Geometry is in pixels of the parent's
// client area. A setter that gives a control the value it already has does nothing and raises
// no event; events that code sets off (a check box's click, a spin edit's change) run their
// handler directly, so an exception in it reaches the code that made the change.
#pragma once

#include "graphics.h"
#include "sysutils.h"

#include <functional>
#include <memory>
#include <vector>

namespace tk {
class SpinWidget;
class RadioGroupWidget;
} // namespace tk

class TObject {
public:
    virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

enum TMouseButton { mbLeft, mbRight, mbMiddle };

enum : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64 };
using TShiftState = unsigned;

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;

// A component owns the components created with it as owner and destroys them with itself.
class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }

protected:
    // Destroys the owned components now, newest first.
    void DestroyComponents();

private:
    TComponent* owner_;
    std::vector<TComponent*> components_;
};

class TWinControl;

class TControl : public TComponent {
public:
    ~TControl() override;

    TWinControl* Parent() const { return parent_; }
    void SetParent(TWinControl* parent);

    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetLeft(int value);
    void SetTop(int value);
    void SetWidth(int value);
    void SetHeight(int value);
    void SetBounds(int left, int top, int width, int height);

    bool Visible() const;
    void SetVisible(bool value);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }

    bool Enabled() const;
    void SetEnabled(bool value);

    AnsiString Hint() const;
    void SetHint(const AnsiString& hint);
    bool ShowHint() const;
    void SetShowHint(bool value);

    // The control's own font; a control takes its parent's font when it is placed on it.
    TFont* Font() { return &font_; }

    void Repaint();

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;

    struct Impl;
    Impl& impl() { return *impl_; }

protected:
    TControl(TComponent* owner, std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;

private:
    TWinControl* parent_ = nullptr;
    TFont font_;
    bool parentFont_ = true;
    friend struct Impl;
};

class TWinControl : public TControl {
public:
    // Moves the keyboard focus here; a control of an inactive form activates that form.
    void SetFocus();
    bool Focused() const;
    bool TabStop() const;
    void SetTabStop(bool value);

protected:
    using TControl::TControl;
};

class TImage : public TControl {
public:
    explicit TImage(TComponent* owner);
    // The picture, stretched to the control's box when Stretch is on.
    TPicture* Picture() { return picture_.get(); }
    bool Stretch() const { return stretch_; }
    void SetStretch(bool value);
    void SetIncrementalDisplay(bool) {}

private:
    std::unique_ptr<TPicture> picture_;
    bool stretch_ = false;
};

class TLabel : public TControl {
public:
    explicit TLabel(TComponent* owner);
    AnsiString Caption() const;
    void SetCaption(const AnsiString& caption);
};

class TButton : public TWinControl {
public:
    explicit TButton(TComponent* owner);
    AnsiString Caption() const;
    void SetCaption(const AnsiString& caption);
};

// A flat glyph button that never takes the keyboard focus.
class TSpeedButton : public TControl {
public:
    explicit TSpeedButton(TComponent* owner);
    void SetGlyph(const std::string& resourceName);
    void SetFlat(bool value);
};

class TCheckBox : public TWinControl {
public:
    explicit TCheckBox(TComponent* owner);
    AnsiString Caption() const;
    void SetCaption(const AnsiString& caption);
    bool Checked() const;
    // Runs OnClick exactly when the state changes.
    void SetChecked(bool value);
};

class TEdit : public TWinControl {
public:
    explicit TEdit(TComponent* owner);
    AnsiString Text() const;
    void SetText(const AnsiString& text);
    bool ReadOnly() const;
    void SetReadOnly(bool value);
    TNotifyEvent OnChange;
};

// A multi-line text; its whole text holds its lines joined by CR LF. Its text is never dragged
// away nor dropped on.
class TMemo : public TWinControl {
public:
    explicit TMemo(TComponent* owner);
    AnsiString Text() const;
    void SetText(const AnsiString& text);
    bool ReadOnly() const;
    void SetReadOnly(bool value);
    TNotifyEvent OnChange;
};

class TPanel : public TWinControl {
public:
    explicit TPanel(TComponent* owner);
    void SetCaption(const AnsiString& caption);
};

class TGroupBox : public TWinControl {
public:
    explicit TGroupBox(TComponent* owner);
    AnsiString Caption() const;
    void SetCaption(const AnsiString& caption);
};

class TRadioGroup : public TWinControl {
public:
    explicit TRadioGroup(TComponent* owner);
    AnsiString Caption() const;
    void SetCaption(const AnsiString& caption);
    void SetItems(const std::vector<AnsiString>& items);
    const std::vector<AnsiString>& Items() const { return items_; }
    int ItemIndex() const { return itemIndex_; }
    // Runs OnClick exactly when the index changes.
    void SetItemIndex(int index);

private:
    void Relayout();
    std::vector<AnsiString> items_;
    int itemIndex_ = -1;
    friend class tk::RadioGroupWidget;
};

// Whole-number field with arrows. Its value is the whole number in its text, or MinValue when
// the text is not one; OnChange runs on every change of the text; typed text is held to the
// range only when the focus leaves; arrows and Up/Down step by Increment within the range.
class TSpinEdit : public TWinControl {
public:
    explicit TSpinEdit(TComponent* owner);
    int MinValue() const { return min_; }
    int MaxValue() const { return max_; }
    void SetMinValue(int value);
    void SetMaxValue(int value);
    void SetIncrement(int value) { increment_ = value; }
    int Value() const;
    // Shows the value brought into the range.
    void SetValue(int value);
    AnsiString Text() const;
    void SetText(const AnsiString& text);
    // Selects the whole text, so that typing replaces it.
    void SelectAll();
    TNotifyEvent OnChange;

private:
    int min_ = 0;
    int max_ = 100;
    int increment_ = 1;
    friend class tk::SpinWidget;
};

// Ticks every Interval ms while Enabled. Interval 0 never ticks. Setting a value the timer
// already has changes nothing; a new interval restarts the count.
class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* owner);
    ~TTimer() override;
    unsigned Interval() const { return interval_; }
    void SetInterval(unsigned ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    TNotifyEvent OnTimer;

    struct Impl;

private:
    void Update();
    std::unique_ptr<Impl> impl_;
    unsigned interval_ = 1000;
    bool enabled_ = true;
};

class TMenuItem : public TComponent {
public:
    explicit TMenuItem(TComponent* owner);
    AnsiString Caption() const { return caption_; }
    void SetCaption(const AnsiString& caption) { caption_ = caption; }
    TNotifyEvent OnClick;

private:
    AnsiString caption_;
};

class TPopupMenu : public TComponent {
public:
    explicit TPopupMenu(TComponent* owner);
    void Add(TMenuItem* item) { items_.push_back(item); }
    const std::vector<TMenuItem*>& Items() const { return items_; }

private:
    std::vector<TMenuItem*> items_;
};

// Creates a control owned by owner, placed on parent at the given place and size, as a
// window's layout places its controls.
template <class T>
T* PlaceControl(TComponent* owner, TWinControl* parent, int left, int top, int width, int height)
{
    T* control = new T(owner);
    control->SetParent(parent);
    control->SetBounds(left, top, width, height);
    return control;
}
