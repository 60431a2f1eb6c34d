// Windows, the application object with its event loop and error box, and the screen cursor.
#include "forms.h"
#include "controlwidgets.h"
#include "dialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QPixmap>
#include <QSettings>
#include <QTranslator>

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tk {

namespace {

// The program's active form: the form the user works in, kept while the program itself is
// not active. Coming back from another program, or from a box or dialog that is no form,
// leaves it unchanged, so only a change of form counts as a form's activation.
TForm* activeForm = nullptr;

// The top-level widget of a form: activation, the close box, and keeping the outer size when
// the window system adds its frame.
class FormWidget : public QWidget {
public:
    explicit FormWidget(TForm* form) : form_(form) {}

protected:
    bool event(QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::WindowActivate:
            if (activeForm != form_) {
                activeForm = form_;
                Raise(form_->OnActivate, form_);
            }
            break;
        case QEvent::Hide:
            // A hidden form is active no more: showing it again activates it anew.
            if (activeForm == form_)
                activeForm = nullptr;
            break;
        case QEvent::Show:
        case QEvent::Move:
        case QEvent::Resize:
            KeepOuterSize();
            break;
        default:
            break;
        }
        return QWidget::event(event);
    }

    void closeEvent(QCloseEvent* event) override
    {
        // The close box runs the form's own close, which decides whether and how it closes.
        event->ignore();
        Dispatch([this] { form_->Close(); });
    }

private:
    // The size was set as an outer size with the frame known then; once the window system has
    // framed the window, the client size is corrected so that the outer size stays.
    void KeepOuterSize()
    {
        if (!isVisible())
            return;
        QSize frame = frameGeometry().size() - size();
        if (frame == lastFrame_)
            return;
        QSize outer = size() + lastFrame_;
        lastFrame_ = frame;
        // The user cannot make the window smaller than its least outer size either; the client
        // area keeps at least a pixel, since a window without one is not shown at all.
        setMinimumSize(std::max(MinFormWidth - frame.width(), 1), std::max(MinFormHeight - frame.height(), 1));
        resize(outer - frame);
    }

    TForm* form_;
    QSize lastFrame_{0, 0};
};

std::unique_ptr<TControl::Impl> MakeFormImpl(TForm* form)
{
    auto impl = std::make_unique<TControl::Impl>();
    impl->widget = new FormWidget(form);
    impl->topLevel = true;
    return impl;
}

} // namespace

void FormDestroyed(TForm* form)
{
    if (activeForm == form)
        activeForm = nullptr;
}

void Dispatch(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        Application->ShowException(error);
    } catch (...) {
        Application->ShowException(Exception(Ansi("予期しないエラーです")));
    }
}

} // namespace tk

// ---------------------------------------------------------------------------------------------
// TForm

TForm::TForm(TComponent* owner) : TWinControl(owner, tk::MakeFormImpl(this))
{
    QWidget* widget = impl_->widget;
    widget->setAttribute(Qt::WA_DeleteOnClose, false);
    widget->setMinimumSize(MinFormWidth, MinFormHeight); // no frame is known yet
    widget->resize(320, 240);
}

TForm::~TForm()
{
    // The application never keeps a main window that is gone.
    if (Application->mainForm_ == this)
        Application->mainForm_ = nullptr;
    tk::FormDestroyed(this);
    // Controls go before the window that holds their widgets.
    DestroyComponents();
}

AnsiString TForm::Caption() const { return tk::FromQt(impl_->widget->windowTitle()); }

void TForm::SetCaption(const AnsiString& caption) { impl_->widget->setWindowTitle(tk::ToQt(caption)); }

int TForm::ClientWidth() const { return impl_->widget->width(); }

int TForm::ClientHeight() const { return impl_->widget->height(); }

void TForm::SetIcon(const std::string& resourceName)
{
    // The two sizes a window icon comes in, through our own icon decoder: Qt's would first load
    // its icon plugin.
    QIcon icon;
    for (int size : {16, 32})
        icon.addPixmap(QPixmap::fromImage(tk::ResourceImage(resourceName, QSize(size, size))));
    impl_->widget->setWindowIcon(icon);
}

void TForm::Show()
{
    // A window being shown is first painted from the window system's expose, which may come
    // before the changed fonts arrive.
    tk::ApplyChangedFonts();
    QWidget* widget = impl_->widget;
    // A window the user minimised comes back as it was (maximised stays maximised): showing a
    // window on Windows restores it, where Qt would leave it iconified.
    if (widget->isMinimized())
        widget->setWindowState(widget->windowState() & ~Qt::WindowMinimized);
    widget->show();
    widget->raise();
    widget->activateWindow();
    // Without a window manager (Qt's offscreen platform) a window hidden while it was active
    // stays the platform's focus window, so asking to activate it again changes nothing and it
    // would never be activated again. Activate it directly then.
    if (QGuiApplication::focusWindow() == widget->windowHandle() && !widget->isActiveWindow())
        QApplication::setActiveWindow(widget);
}

void TForm::Close()
{
    bool canClose = true;
    if (OnCloseQuery)
        OnCloseQuery(this, canClose);
    if (!canClose)
        return;
    TCloseAction action = caHide;
    if (OnClose)
        OnClose(this, action);
    if (action == caNone)
        return;
    QWidget* widget = impl_->widget;
    if (Application->MainForm() == this) {
        widget->hide();
        QCoreApplication::quit();
        return;
    }
    if (action == caMinimize)
        widget->showMinimized();
    else
        widget->hide();
}

void TForm::BringToFront()
{
    impl_->widget->raise();
    impl_->widget->activateWindow();
}

bool TForm::Active() const { return impl_->widget->isActiveWindow(); }

void TForm::Print()
{
    tk::ApplyChangedFonts();
    tk::PrintImage(impl_->widget->grab().toImage());
}

// ---------------------------------------------------------------------------------------------
// TApplication

namespace {

QApplication* qtApplication = nullptr;

// Qt takes a scale for the windows and their fonts from these as it starts, and desktops set
// some of them. The windows are laid out in pixels at 96 pixels per inch, so Qt starts without
// them; they are put back once it has started, for the programs this one starts.
class ScalingHeldOff {
public:
    ScalingHeldOff()
    {
        for (const char* name : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_ENABLE_HIGHDPI_SCALING",
                                 "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_FONT_DPI", "QT_SCALE_FACTOR_ROUNDING_POLICY",
                                 "QT_DPI_ADJUSTMENT_POLICY", "QT_USE_PHYSICAL_DPI"}) {
            if (const char* value = std::getenv(name))
                saved_.emplace_back(name, value);
            unsetenv(name);
        }
        setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 1);
        // Points too are taken at 96 pixels per inch, whatever resolution the desktop gives.
        QCoreApplication::setAttribute(Qt::AA_Use96Dpi);
    }
    ~ScalingHeldOff()
    {
        unsetenv("QT_ENABLE_HIGHDPI_SCALING");
        for (const auto& [name, value] : saved_)
            setenv(name, value.c_str(), 1);
    }
    ScalingHeldOff(const ScalingHeldOff&) = delete;
    ScalingHeldOff& operator=(const ScalingHeldOff&) = delete;

private:
    std::vector<std::pair<const char*, std::string>> saved_;
};

} // namespace

TApplication* Application = new TApplication;
TScreen* Screen = new TScreen;

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() = default;

void TApplication::Initialize()
{
    if (QCoreApplication::instance())
        return;
    // A write past the file-size limit should fail like any other write, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
    static int argc = 1;
    static char name[] = "pagora";
    static char* argv[] = {name, nullptr};
    // Reading the system's font configuration (fontconfig parses its configuration files) takes
    // about as long as connecting to the window system, and the first window cannot be laid out
    // without it. So it is read on a thread of its own meanwhile.
    std::thread fontConfiguration([] { FcInit(); });
    {
        ScalingHeldOff unscaled;
        qtApplication = new QApplication(argc, argv);
    }
    fontConfiguration.join();
    QApplication::setQuitOnLastWindowClosed(false);
    // The programs keep no settings. Qt's own file dialogs would remember their folders, history
    // and columns in the user's configuration folder; pointed at a folder that cannot be, they
    // neither store nor find any.
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null/pagora"));
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    // Qt's own dialogs speak Japanese like the rest of the program.
    auto* translator = new QTranslator(qtApplication);
    if (translator->load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    TFont defaultFont;
    QApplication::setFont(tk::ToQFont(defaultFont));
}

void TApplication::Created(TComponent* component)
{
    if (auto* form = dynamic_cast<TForm*>(component)) {
        if (!mainForm_)
            mainForm_ = form;
        tk::Raise(form->OnCreate, form);
    } else if (auto* module = dynamic_cast<TDataModule*>(component)) {
        tk::Raise(module->OnCreate, module);
    }
}

void TApplication::Run()
{
    if (mainForm_)
        mainForm_->Show();
    QApplication::exec();
    // The windows go while the window system is still there.
    mainForm_ = nullptr;
    DestroyComponents();
}

void TApplication::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void TApplication::ShowException(const std::exception& error)
{
    // Only our own errors carry a message for the user; the standard library's are English.
    AnsiString message = dynamic_cast<const Exception*>(&error) ? AnsiString(error.what())
                       : dynamic_cast<const std::bad_alloc*>(&error) ? tk::Ansi("メモリがたりません")
                                                                      : tk::Ansi("予期しないエラーです");
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        message += '.';
    tk::ShowMessageBox({tk::MessageBoxRequest::Kind::Error, title_, message});
}

void TApplication::HelpCommand(int, long) { tk::ShowHelpContents(helpFile_); }

// ---------------------------------------------------------------------------------------------
// TScreen

void TScreen::SetCursor(TCursor cursor)
{
    if (cursor == cursor_)
        return;
    if (cursor_ != crDefault)
        QApplication::restoreOverrideCursor();
    cursor_ = cursor;
    if (cursor_ == crDefault)
        return;
    Qt::CursorShape shape = Qt::ArrowCursor;
    switch (cursor_) {
    case crDrag: shape = Qt::DragMoveCursor; break;
    case crSizeNWSE: shape = Qt::SizeFDiagCursor; break;
    default: break;
    }
    QApplication::setOverrideCursor(QCursor(shape));
}
