// The control rules the programs rely on: no event on a no-op set, check box and radio group
// clicks, the spin edit's text rules, timers, fonts, form sizes and the default error box.
#include "controlwidgets.h"
#include "forms.h"
#include "modal.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDrag>
#include <QPlainTextEdit>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QStyleOptionButton>
#include <QWheelEvent>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

namespace {

QWidget* WidgetOf(TControl* control) { return control->impl().widget; }

QLineEdit* SpinEditor(TSpinEdit* spin) { return static_cast<tk::SpinWidget*>(WidgetOf(spin))->Editor(); }

// Processes events until the condition holds or the time is up.
template <class Condition>
bool WaitFor(Condition condition, int timeoutMs = 3000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Counts the font changes a widget is told of.
struct FontChangeCounter : QObject {
    explicit FontChangeCounter(int& count) : count_(count) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        count_ += event->type() == QEvent::FontChange;
        return false;
    }
    int& count_;
};

struct ControlsTest : ::testing::Test {
    TForm* form = new TForm(nullptr);
    ~ControlsTest() override { delete form; }

    template <class T>
    T* Make()
    {
        T* control = new T(form);
        control->SetParent(form);
        return control;
    }
};

} // namespace

TEST_F(ControlsTest, CheckBoxClicksExactlyWhenItsStateChanges)
{
    form->Show();
    auto* box = Make<TCheckBox>();
    int clicks = 0;
    box->OnClick = [&](TObject*) { ++clicks; };
    box->SetChecked(false);
    EXPECT_EQ(clicks, 0);
    box->SetChecked(true);
    box->SetChecked(true);
    EXPECT_EQ(clicks, 1);
    // A click by the user toggles it and clicks once.
    QTest::mouseClick(static_cast<QCheckBox*>(WidgetOf(box)), Qt::LeftButton);
    EXPECT_FALSE(box->Checked());
    EXPECT_EQ(clicks, 2);
}

TEST_F(ControlsTest, RadioGroupClicksExactlyWhenItsIndexChanges)
{
    auto* group = Make<TRadioGroup>();
    group->SetBounds(0, 0, 150, 100);
    group->SetItems({"a", "b", "c"});
    int clicks = 0;
    group->OnClick = [&](TObject*) { ++clicks; };
    group->SetItemIndex(0);
    EXPECT_EQ(clicks, 1);
    group->SetItemIndex(0);
    EXPECT_EQ(clicks, 1);
    auto radios = WidgetOf(group)->findChildren<QRadioButton*>();
    ASSERT_EQ(radios.size(), 3);
    radios[2]->click();
    EXPECT_EQ(group->ItemIndex(), 2);
    EXPECT_EQ(clicks, 2);
    radios[2]->click(); // already selected: no change, no click
    EXPECT_EQ(clicks, 2);
}

TEST_F(ControlsTest, RadioGroupClicksOnceForAChoiceMadeThroughTheAccessibilityInterface)
{
    form->Show();
    auto* group = Make<TRadioGroup>();
    group->SetBounds(0, 0, 150, 100);
    group->SetItems({"a", "b", "c"});
    group->SetItemIndex(0);
    int clicks = 0;
    group->OnClick = [&](TObject*) { ++clicks; };
    auto radios = WidgetOf(group)->findChildren<QRadioButton*>();
    ASSERT_EQ(radios.size(), 3);
    // What a screen reader or switch access does through the accessibility bus.
    auto toggle = [](QRadioButton* radio) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(radio);
        ASSERT_TRUE(accessible && accessible->actionInterface());
        accessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    };
    toggle(radios[1]);
    EXPECT_EQ(group->ItemIndex(), 1);
    EXPECT_EQ(clicks, 1);
    toggle(radios[1]); // the chosen item stays chosen: no change, no click
    EXPECT_EQ(group->ItemIndex(), 1);
    EXPECT_EQ(clicks, 1);
    // Any other path that checks an item counts the same, once.
    radios[2]->setChecked(true);
    EXPECT_EQ(group->ItemIndex(), 2);
    EXPECT_EQ(clicks, 2);
}

TEST_F(ControlsTest, CheckBoxCaptionsFitTheirBoxesAsOnWindows)
{
    // The editing window's boxes: in a group, 17 pixels high, in the window's 12-pixel font.
    auto* group = Make<TGroupBox>();
    group->SetBounds(0, 0, 73, 233);
    const std::pair<const char*, int> boxes[] = {{"絵１", 41}, {"文３", 41}, {"音", 49}, {"ボタン1", 57}, {"ボタン２", 57}};
    for (const auto& [caption, width] : boxes) {
        SCOPED_TRACE(caption);
        auto* box = PlaceControl<TCheckBox>(form, group, 8, 16, width, 17);
        box->SetCaption(tk::FromUtf8(caption));
        auto* widget = static_cast<QCheckBox*>(WidgetOf(box));
        QStyleOptionButton option;
        option.initFrom(widget);
        const QRect square = widget->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, widget);
        const QRect label = widget->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, widget);
        EXPECT_EQ(square.size(), QSize(13, 13));
        EXPECT_GE(label.width(), widget->fontMetrics().horizontalAdvance(widget->text()));
    }
}

TEST_F(ControlsTest, AGlyphButtonDrawsItsPicturePixelForPixelCentredOnItsFace)
{
    form->Show();
    // The viewer's open button: its picture is two pixels wider than the button.
    auto* button = Make<TSpeedButton>();
    button->SetBounds(0, 0, 153, 65);
    button->SetFlat(true);
    button->SetGlyph("view-open.bmp");
    const QImage glyph = tk::ResourceImage("view-open.bmp").convertToFormat(QImage::Format_RGB32);
    const QImage shown = WidgetOf(button)->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(glyph.size(), QSize(155, 65));
    const QRgb background = glyph.pixel(0, 64);
    int drawn = 0;
    int differing = 0;
    for (int y = 0; y < 65; ++y)
        for (int x = 0; x < 153; ++x)
            if (glyph.pixel(x + 1, y) != background) {
                ++drawn;
                differing += shown.pixel(x, y) != glyph.pixel(x + 1, y);
            }
    EXPECT_GT(drawn, 1000);
    EXPECT_EQ(differing, 0);
}

TEST_F(ControlsTest, EnterPressesTheFocusedButtonAsSpaceDoes)
{
    form->Show();
    auto* button = Make<TButton>();
    int clicks = 0;
    button->OnClick = [&](TObject*) { ++clicks; };
    button->SetFocus();
    QWidget* widget = WidgetOf(button);
    QTest::keyClick(widget, Qt::Key_Return);
    EXPECT_EQ(clicks, 1);
    QTest::keyClick(widget, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(clicks, 2);
    // A held-down Enter presses once; Enter with Ctrl is no press.
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(widget, &repeat);
    QTest::keyClick(widget, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(clicks, 2);
    QTest::keyClick(widget, Qt::Key_Space);
    EXPECT_EQ(clicks, 3);
}

TEST_F(ControlsTest, TextSettersRaiseNothingWhenTheTextIsUnchanged)
{
    auto* memo = Make<TMemo>();
    auto* edit = Make<TEdit>();
    int changes = 0;
    memo->OnChange = [&](TObject*) { ++changes; };
    edit->OnChange = [&](TObject*) { ++changes; };
    memo->SetText("A\r\nB");
    edit->SetText("x");
    EXPECT_EQ(changes, 2);
    memo->SetText("A\r\nB");
    edit->SetText("x");
    EXPECT_EQ(changes, 2);
    // The whole text keeps its lines joined by CR LF.
    EXPECT_EQ(memo->Text(), "A\r\nB");
}

TEST_F(ControlsTest, SpinEditValueIsTheWholeNumberInItsTextOrItsMinimum)
{
    auto* spin = Make<TSpinEdit>();
    spin->SetMinValue(1);
    spin->SetMaxValue(200);
    for (auto [text, value] : std::initializer_list<std::pair<const char*, int>>{
             {"150", 150}, {"+7", 7}, {"", 1}, {"-", 1}, {"+", 1}, {"1.5", 1}, {"abc", 1}, {"300", 300}, {"-5", -5},
             {"99999999999", 1}, {"+-5", 1}, {"--5", 1}}) {
        spin->SetText(text);
        EXPECT_EQ(spin->Value(), value) << "text \"" << text << "\"";
    }
}

TEST_F(ControlsTest, SpinEditSetByCodeShowsTheValueInRangeAndChangesOnlyOnNewText)
{
    auto* spin = Make<TSpinEdit>();
    spin->SetMinValue(-1);
    spin->SetMaxValue(200);
    int changes = 0;
    spin->OnChange = [&](TObject*) { ++changes; };
    spin->SetValue(350);
    EXPECT_EQ(spin->Text(), "200");
    spin->SetValue(-5);
    EXPECT_EQ(spin->Text(), "-1");
    EXPECT_EQ(changes, 2);
    spin->SetValue(-1);
    EXPECT_EQ(changes, 2);
}

TEST_F(ControlsTest, SpinEditRunsItsChangeOnEveryKeystrokeAndRefusesLetters)
{
    form->Show();
    auto* spin = Make<TSpinEdit>();
    spin->SetMinValue(1);
    spin->SetMaxValue(200);
    spin->SetValue(1);
    std::vector<int> seen;
    spin->OnChange = [&](TObject*) { seen.push_back(spin->Value()); };
    SpinEditor(spin)->end(false);
    // Keys reach the field through the spin edit, as the keyboard focus sends them.
    QTest::keyClicks(WidgetOf(spin), "5a0");
    EXPECT_EQ(spin->Text(), "150");
    EXPECT_EQ(seen, (std::vector<int>{15, 150}));
}

TEST_F(ControlsTest, SpinEditHoldsTypedTextToTheRangeOnlyWhenTheFocusLeaves)
{
    form->Show();
    auto* spin = Make<TSpinEdit>();
    auto* other = Make<TButton>();
    spin->SetMinValue(1);
    spin->SetMaxValue(120);
    spin->SetValue(1);
    int changes = 0;
    spin->OnChange = [&](TObject*) { ++changes; };
    ASSERT_TRUE(WaitFor([&] { return form->Active(); }));
    spin->SetFocus();
    SpinEditor(spin)->selectAll();
    QTest::keyClicks(WidgetOf(spin), "500");
    EXPECT_EQ(spin->Value(), 500);
    int typed = changes;
    other->SetFocus();
    ASSERT_TRUE(WaitFor([&] { return spin->Text() == "120"; }));
    EXPECT_EQ(changes, typed + 1);
}

TEST_F(ControlsTest, SpinEditStepsByOneWithinItsRange)
{
    auto* spin = Make<TSpinEdit>();
    spin->SetMinValue(1);
    spin->SetMaxValue(3);
    spin->SetValue(2);
    int changes = 0;
    spin->OnChange = [&](TObject*) { ++changes; };
    auto* widget = static_cast<tk::SpinWidget*>(WidgetOf(spin));
    widget->stepBy(1);
    EXPECT_EQ(spin->Value(), 3);
    widget->stepBy(1);
    EXPECT_EQ(spin->Value(), 3);
    widget->stepBy(-5);
    EXPECT_EQ(spin->Value(), 1);
    EXPECT_EQ(changes, 2);
}

TEST_F(ControlsTest, SpinEditTakesSignsAndTheDecimalSeparatorRefusesEnterAndStepsOnlyByOne)
{
    form->Show();
    auto* spin = Make<TSpinEdit>();
    spin->SetMinValue(1);
    spin->SetMaxValue(120);
    spin->SetValue(1);
    int changes = 0;
    spin->OnChange = [&](TObject*) { ++changes; };
    QWidget* widget = WidgetOf(spin);
    ASSERT_TRUE(WaitFor([&] { return form->Active(); }));
    spin->SetFocus();

    SpinEditor(spin)->clear();
    const QString separator = QLocale().decimalPoint();
    QTest::keyClicks(widget, QStringLiteral("+-7") + separator + QStringLiteral("5"));
    EXPECT_EQ(SpinEditor(spin)->text(), QStringLiteral("+-7") + separator + QStringLiteral("5"));
    EXPECT_EQ(spin->Value(), 1); // not a whole number: the minimum
    int typed = changes;
    QTest::keyClick(widget, Qt::Key_Return);
    QTest::keyClick(widget, Qt::Key_Enter);
    EXPECT_EQ(changes, typed);

    // Up and Down step by one and land within the range, also from a typed value beyond it.
    SpinEditor(spin)->setText("50");
    QTest::keyClick(widget, Qt::Key_Up);
    EXPECT_EQ(spin->Text(), "51");
    QTest::keyClick(widget, Qt::Key_Down);
    EXPECT_EQ(spin->Text(), "50");
    SpinEditor(spin)->setText("500");
    QTest::keyClick(widget, Qt::Key_Up);
    EXPECT_EQ(spin->Text(), "120");
    SpinEditor(spin)->setText("0");
    QTest::keyClick(widget, Qt::Key_Down);
    EXPECT_EQ(spin->Text(), "1");

    // Page Up, Page Down and the wheel do not step it.
    SpinEditor(spin)->setText("50");
    typed = changes;
    QTest::keyClick(widget, Qt::Key_PageUp);
    QTest::keyClick(widget, Qt::Key_PageDown);
    QWheelEvent wheel(QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &wheel);
    EXPECT_EQ(spin->Text(), "50");
    EXPECT_EQ(changes, typed);
}

TEST_F(ControlsTest, OnActivateRunsWhenTheFormBecomesTheProgramsActiveForm)
{
    TForm other(nullptr);
    int activations = 0;
    form->OnActivate = [&](TObject*) { ++activations; };
    form->Show();
    ASSERT_TRUE(WaitFor([&] { return form->Active(); }));
    EXPECT_EQ(activations, 1);

    // The program loses the activation to another program and gets it back: the same form
    // is still the one the user works in.
    QApplication::setActiveWindow(nullptr);
    ASSERT_TRUE(WaitFor([&] { return !form->Active(); }));
    QApplication::setActiveWindow(WidgetOf(form));
    ASSERT_TRUE(WaitFor([&] { return form->Active(); }));
    EXPECT_EQ(activations, 1);

    // Coming back from another form of the program activates it.
    other.Show();
    ASSERT_TRUE(WaitFor([&] { return other.Active(); }));
    form->Show();
    ASSERT_TRUE(WaitFor([&] { return form->Active(); }));
    EXPECT_EQ(activations, 2);

    // So does showing it again after it was hidden.
    other.Hide();
    form->Hide();
    form->Show();
    ASSERT_TRUE(WaitFor([&] { return form->Active(); }));
    EXPECT_EQ(activations, 3);
}

TEST_F(ControlsTest, ShowingAMinimisedFormRestoresAndActivatesIt)
{
    TForm other(nullptr);
    int activations = 0;
    form->OnActivate = [&](TObject*) { ++activations; };
    form->SetBounds(10, 10, 300, 200);
    form->Show();
    ASSERT_TRUE(WaitFor([&] { return form->Active(); }));
    // The user minimises it and goes on in another window of the program.
    WidgetOf(form)->showMinimized();
    other.Show();
    ASSERT_TRUE(WaitFor([&] { return other.Active(); }));
    form->Show();
    ASSERT_TRUE(WaitFor([&] { return form->Active(); }));
    EXPECT_FALSE(WidgetOf(form)->isMinimized());
    EXPECT_EQ(activations, 2);
    EXPECT_EQ(form->Width(), 300);
}

TEST(Timer, TicksAtItsIntervalWhileEnabledAndNeverAtZero)
{
    TTimer timer(nullptr);
    timer.SetEnabled(false);
    int ticks = 0;
    timer.OnTimer = [&](TObject*) { ++ticks; };
    timer.SetInterval(0);
    timer.SetEnabled(true);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 100)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(ticks, 0);
    timer.SetInterval(20);
    EXPECT_TRUE(WaitFor([&] { return ticks >= 2; }));
    timer.SetEnabled(false);
    int stopped = ticks;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(ticks, stopped);
}

TEST(Timer, SettingTheSameValueKeepsTheCountAndANewIntervalRestartsIt)
{
    TTimer timer(nullptr);
    int ticks = 0;
    timer.OnTimer = [&](TObject*) { ++ticks; };
    timer.SetInterval(300);
    QElapsedTimer clock;
    clock.start();
    // Re-setting the same interval and Enabled every 50 ms must not hold the tick back.
    while (ticks == 0 && clock.elapsed() < 2000) {
        timer.SetInterval(300);
        timer.SetEnabled(true);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_EQ(ticks, 1);
    EXPECT_LT(clock.elapsed(), 600);

    // A new interval every 50 ms keeps restarting the count, so nothing ticks.
    ticks = 0;
    clock.restart();
    unsigned interval = 200;
    while (clock.elapsed() < 500) {
        timer.SetInterval(interval ^= 1);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_EQ(ticks, 0);
}

TEST(Font, FaceNamesAreCutTo31BytesAndEmptyNamesIgnored)
{
    TFont font;
    int changes = 0;
    font.OnChange = [&] { ++changes; };
    font.SetName("IPAGothic");
    font.SetName("");
    EXPECT_EQ(font.Name(), "IPAGothic");
    font.SetName(std::string(40, 'x'));
    EXPECT_EQ(font.Name(), std::string(31, 'x'));
    font.SetName(std::string(45, 'x')); // cuts to the name it has: no change
    EXPECT_EQ(changes, 2);
}

TEST(Font, SizeInPointsAndHeightInPixelsAtNinetySixPixelsPerInch)
{
    TFont font;
    font.SetHeight(-12);
    EXPECT_EQ(font.Size(), 9);
    font.SetSize(10);
    EXPECT_EQ(font.Height(), -13);
    EXPECT_EQ(font.Size(), 10);
    font.SetSize(24);
    EXPECT_EQ(font.Height(), -32);
    EXPECT_EQ(tk::ToQFont(font).pixelSize(), 32);
}

TEST(Font, JapaneseWindowsFacesUseTheirIpaSubstitutes)
{
    TFont font;
    for (auto [windows, ipa] : std::initializer_list<std::pair<const char*, const char*>>{
             {"ＭＳ Ｐゴシック", "IPAPGothic"}, {"ＭＳ ゴシック", "IPAGothic"}, {"ＭＳ明朝", "IPAMincho"},
             {"ＭＳ Ｐ明朝", "IPAPMincho"}, {"MS PGothic", "IPAPGothic"}, {"MS Mincho", "IPAMincho"}}) {
        font.SetName(tk::FromUtf8(windows));
        EXPECT_EQ(tk::ToQFont(font).family().toStdString(), ipa) << windows;
        EXPECT_EQ(tk::ToUtf8(font.Name()), windows);
    }
}

TEST(Font, ColoursAreWindowsValuesIncludingSystemColours)
{
    EXPECT_EQ(tk::ToQColor(0x0000FF), QColor(255, 0, 0));
    EXPECT_EQ(tk::ToQColor(0xFF0000), QColor(0, 0, 255));
    EXPECT_EQ(tk::ToQColor(clWindowText), QApplication::palette().color(QPalette::Text));
    EXPECT_EQ(tk::ToQColor(clBtnFace), QApplication::palette().color(QPalette::Button));
}

// Each font a widget takes loads a font engine and lays its text out again, so a font set
// attribute by attribute reaches the widget once; a paint that comes first still shows it.
TEST_F(ControlsTest, AFontSetAttributeByAttributeReachesItsWidgetOnce)
{
    form->Show();
    auto* memo = Make<TMemo>();
    memo->SetText("x");
    int fontChanges = 0;
    FontChangeCounter counter(fontChanges);
    WidgetOf(memo)->installEventFilter(&counter);
    memo->Font()->SetName("MS Mincho");
    memo->Font()->SetHeight(-24);
    memo->Font()->SetStyle(fsBold);
    memo->Font()->SetColor(0x0000FF);
    memo->Repaint();
    EXPECT_EQ(WidgetOf(memo)->font(), tk::ToQFont(*memo->Font()));
    EXPECT_EQ(WidgetOf(memo)->palette().color(QPalette::Text), QColor(255, 0, 0));
    QCoreApplication::processEvents();
    EXPECT_EQ(fontChanges, 1);
}

TEST(ErrorBox, AppendsAFullStopAfterALastByteThatSortsAfterIt)
{
    ModalScript script;
    Application->SetTitle("Pagora ");
    Application->ShowException(Exception(tk::FromUtf8("ファイルが見つかりません")));
    Application->ShowException(Exception(tk::FromUtf8("I/O エラー (100)")));
    Application->ShowException(Exception("done."));
    ASSERT_EQ(script.messages.size(), 3u);
    EXPECT_EQ(script.messages[0].kind, tk::MessageBoxRequest::Kind::Error);
    EXPECT_EQ(script.messages[0].caption, "Pagora ");
    EXPECT_EQ(tk::ToUtf8(script.messages[0].text), "ファイルが見つかりません.");
    EXPECT_EQ(tk::ToUtf8(script.messages[1].text), "I/O エラー (100)");
    EXPECT_EQ(script.messages[2].text, "done.");

    // The standard library's errors say nothing a user can read: a memory failure has its own
    // message, every other one the general one.
    Application->ShowException(std::bad_alloc());
    Application->ShowException(std::length_error("basic_string::_M_create"));
    EXPECT_EQ(tk::ToUtf8(script.messages[3].text), "メモリがたりません.");
    EXPECT_EQ(tk::ToUtf8(script.messages[4].text), "予期しないエラーです.");
}

TEST_F(ControlsTest, AnExceptionInAHandlerIsShownAndTheProgramGoesOn)
{
    ModalScript script;
    form->Show();
    auto* button = Make<TButton>();
    button->OnClick = [](TObject*) { throw Exception("broken"); };
    QTest::mouseClick(static_cast<QWidget*>(WidgetOf(button)), Qt::LeftButton);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].text, "broken.");
}

TEST_F(ControlsTest, AFormsSizeIsItsOuterSizeAndChildGeometryIsInClientPixels)
{
    form->SetWidth(792);
    form->SetHeight(568);
    EXPECT_EQ(form->Width(), 792);
    EXPECT_EQ(form->Height(), 568);
    form->Show();
    ASSERT_TRUE(WaitFor([&] { return form->Visible(); }));
    EXPECT_EQ(form->Width(), 792);
    EXPECT_EQ(form->Height(), 568);
    auto* image = Make<TImage>();
    image->SetBounds(-20, 5, 81, 81);
    EXPECT_EQ(image->Left(), -20);
    EXPECT_EQ(image->Top(), 5);
}

TEST(Scaling, WindowsKeepTheirPixelsWhateverScalingTheEnvironmentAsksOfQt)
{
    // The settings some desktops make, all at once; each of them alone scales a Qt program.
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_SCALE_FACTOR", "2");
    environment.insert("QT_SCREEN_SCALE_FACTORS", "1.5");
    environment.insert("QT_ENABLE_HIGHDPI_SCALING", "1");
    environment.insert("QT_AUTO_SCREEN_SCALE_FACTOR", "1");
    environment.insert("QT_FONT_DPI", "192");
    environment.insert("QT_SCALE_FACTOR_ROUNDING_POLICY", "PassThrough");
    probe.setProcessEnvironment(environment);
    probe.start(SCALING_PROBE, {});
    ASSERT_TRUE(probe.waitForFinished(30000));
    // The programs it starts still get the desktop's settings.
    EXPECT_EQ(probe.readAllStandardOutput().trimmed().toStdString(),
              "ratio 1 outer 792x568 pixels as client dpi 96 nine-point 12 left QT_SCALE_FACTOR=2");
}

TEST_F(ControlsTest, ControlsKeepTheirOwnVisibilityWhileTheirWindowIsHidden)
{
    auto* shown = Make<TMemo>();
    auto* hidden = Make<TMemo>();
    hidden->Hide();
    EXPECT_FALSE(form->Visible());
    EXPECT_TRUE(shown->Visible());
    EXPECT_FALSE(hidden->Visible());
}

TEST_F(ControlsTest, OnlyHintsThatAreSwitchedOnAreShown)
{
    auto* with = Make<TButton>();
    auto* without = Make<TButton>();
    with->SetShowHint(true);
    with->SetHint(tk::FromUtf8("ヘルプを見ます"));
    without->SetHint("none");
    EXPECT_EQ(WidgetOf(with)->toolTip().toStdString(), "ヘルプを見ます");
    EXPECT_TRUE(WidgetOf(without)->toolTip().isEmpty());
}

TEST_F(ControlsTest, APressOnALabelInsideAPanelBelongsToTheLabel)
{
    form->Show();
    auto* panel = Make<TPanel>();
    panel->SetBounds(0, 0, 200, 200);
    auto* label = new TLabel(form);
    label->SetParent(panel);
    label->SetBounds(10, 10, 80, 20);
    int panelPresses = 0;
    int labelPresses = 0;
    panel->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { ++panelPresses; };
    label->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { ++labelPresses; };
    QTest::mousePress(WidgetOf(label), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(WidgetOf(label), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mousePress(WidgetOf(panel), Qt::LeftButton, {}, QPoint(150, 150));
    QTest::mouseRelease(WidgetOf(panel), Qt::LeftButton, {}, QPoint(150, 150));
    EXPECT_EQ(labelPresses, 1);
    EXPECT_EQ(panelPresses, 1);
}

TEST(Screen, TheApplicationWideCursorShowsUntilReset)
{
    Screen->SetCursor(crDrag);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::DragMoveCursor);
    Screen->SetCursor(crSizeNWSE);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::SizeFDiagCursor);
    Screen->SetCursor(crDefault);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ControlsTest, OnlyALeftPressCapturesThePointer)
{
    form->SetBounds(100, 100, 400, 300);
    form->Show();
    ASSERT_TRUE(WaitFor([&] { return form->Visible(); }));
    auto* a = Make<TImage>();
    auto* b = Make<TImage>();
    a->SetBounds(10, 10, 50, 50);
    b->SetBounds(200, 10, 50, 50);
    std::vector<std::string> seen;
    a->OnMouseMove = [&](TObject*, TShiftState, int x, int y) { seen.push_back("a move " + std::to_string(x) + "," + std::to_string(y)); };
    b->OnMouseMove = [&](TObject*, TShiftState, int x, int y) { seen.push_back("b move " + std::to_string(x) + "," + std::to_string(y)); };
    a->OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { seen.push_back("a up"); };
    b->OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { seen.push_back("b up"); };
    QWidget* aw = WidgetOf(a);
    QPointF overB = WidgetOf(b)->mapToGlobal(QPointF(5, 6));
    auto send = [&](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, aw->mapFromGlobal(overB), overB, button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(aw, &event);
    };
    // After a right press on a, the move and the release over b belong to b.
    send(QEvent::MouseMove, Qt::NoButton, Qt::RightButton);
    send(QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton);
    // After a left press on a, they stay with a, in a's coordinates.
    send(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(seen, (std::vector<std::string>{"b move 5,6", "b up", "a move 195,6", "a up"}));
}

TEST_F(ControlsTest, APressOrMoveOverAControlBelongsToItNotToThePanelBehindIt)
{
    form->Show();
    ASSERT_TRUE(WaitFor([&] { return form->Visible(); }));
    auto* panel = Make<TPanel>();
    panel->SetBounds(0, 0, 200, 200);
    auto* button = new TButton(form);
    button->SetParent(panel);
    button->SetBounds(10, 10, 80, 30);
    auto* box = new TCheckBox(form);
    box->SetParent(panel);
    box->SetBounds(10, 50, 80, 20);
    std::vector<std::string> seen;
    panel->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { seen.push_back("panel down"); };
    panel->OnMouseMove = [&](TObject*, TShiftState, int, int) { seen.push_back("panel move"); };
    button->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState, int, int) {
        seen.push_back(b == mbRight ? "button right" : "button other");
    };
    box->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { seen.push_back("box down"); };
    QTest::mousePress(WidgetOf(button), Qt::RightButton, {}, QPoint(5, 5));
    QTest::mouseRelease(WidgetOf(button), Qt::RightButton, {}, QPoint(5, 5));
    QTest::mousePress(WidgetOf(box), Qt::MiddleButton, {}, QPoint(5, 5));
    QTest::mouseRelease(WidgetOf(box), Qt::MiddleButton, {}, QPoint(5, 5));
    QTest::mouseMove(WidgetOf(button), QPoint(20, 10));
    EXPECT_EQ(seen, (std::vector<std::string>{"button right", "box down"}));
    QTest::mousePress(WidgetOf(panel), Qt::RightButton, {}, QPoint(150, 150));
    QTest::mouseRelease(WidgetOf(panel), Qt::RightButton, {}, QPoint(150, 150));
    EXPECT_EQ(seen.back(), "panel down");
}

TEST_F(ControlsTest, AWindowIsHeldToASizeAScreenCanShow)
{
    form->SetBounds(0, 0, 100000, 100000);
    EXPECT_EQ(form->Width(), 8192);
    EXPECT_EQ(form->Height(), 8192);
    form->SetWidth(792);
    EXPECT_EQ(form->Width(), 792);
    // Nor does it shrink below a captioned window's least size, where it would vanish.
    for (int side : {0, -40, 20}) {
        form->SetBounds(0, 0, side, side);
        EXPECT_EQ(form->Width(), MinFormWidth);
        EXPECT_EQ(form->Height(), MinFormHeight);
    }
    form->Show();
    ASSERT_TRUE(WaitFor([&] { return form->Visible(); }));
    EXPECT_FALSE(WidgetOf(form)->testAttribute(Qt::WA_OutsideWSRange));
    EXPECT_GE(form->ClientHeight(), 1);
}

TEST_F(ControlsTest, TheCloseBoxAndCloseAskTheCloseQueryFirst)
{
    form->Show();
    ASSERT_TRUE(WaitFor([&] { return form->Visible(); }));
    int queries = 0, closes = 0;
    bool allow = false;
    form->OnCloseQuery = [&](TObject*, bool& canClose) { ++queries; canClose = allow; };
    form->OnClose = [&](TObject*, TCloseAction&) { ++closes; };
    WidgetOf(form)->close();
    form->Close();
    EXPECT_EQ(queries, 2);
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(form->Visible());
    allow = true;
    WidgetOf(form)->close();
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(form->Visible());
}

TEST_F(ControlsTest, AMemoNeverDragsItsTextAwayNorTakesADrop)
{
    form->SetBounds(100, 100, 400, 300);
    form->Show();
    ASSERT_TRUE(WaitFor([&] { return form->Visible(); }));
    auto* memo = Make<TMemo>();
    memo->SetBounds(10, 10, 300, 150);
    memo->SetText("move this text");
    std::vector<std::string> seen;
    memo->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { seen.push_back("down"); };
    memo->OnMouseMove = [&](TObject*, TShiftState, int, int) { seen.push_back("move"); };
    memo->OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { seen.push_back("up"); };
    auto* edit = static_cast<QPlainTextEdit*>(WidgetOf(memo));
    QWidget* area = edit->viewport();
    edit->selectAll();
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, at, area->mapToGlobal(at), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(area, &event);
    };
    send(QEvent::MouseButtonPress, QPoint(20, 8), Qt::LeftButton, Qt::LeftButton); // on the selection
    for (int step = 1; step <= 5; ++step)
        send(QEvent::MouseMove, QPoint(20 + 30 * step, 8 + 10 * step), Qt::NoButton, Qt::LeftButton);
    // A drag that started would have left its QDrag with the text control: on this platform it
    // ends at once, and is deleted only once the event loop runs again.
    EXPECT_TRUE(edit->findChildren<QDrag*>().isEmpty());
    send(QEvent::MouseButtonRelease, QPoint(170, 58), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(seen, (std::vector<std::string>{"down", "move", "move", "move", "move", "move", "up"}));
    EXPECT_EQ(memo->Text(), "move this text");
    EXPECT_FALSE(edit->acceptDrops());
    EXPECT_FALSE(area->acceptDrops());
}
