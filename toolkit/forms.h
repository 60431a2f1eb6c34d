// Windows, the data module, the application object and the screen.
#pragma once

#include "controls.h"

#include <exception>
#include <string>

enum TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

// A top-level window. Width and Height are its outer size (frame included), never less than a
// captioned window's least size (MinFormWidth by MinFormHeight); child geometry is in pixels of
// its client area. Left and Top place the window on the screen.
class TForm : public TWinControl {
public:
    explicit TForm(TComponent* owner);
    ~TForm() override;

    AnsiString Caption() const;
    void SetCaption(const AnsiString& caption);
    int ClientWidth() const;
    int ClientHeight() const;
    void SetIcon(const std::string& resourceName);

    // Visible, in front and active.
    void Show();
    void Hide() { SetVisible(false); }
    // Runs OnCloseQuery, which may keep the window open, then OnClose; caHide (the default of
    // a secondary window) hides, and closing the main window ends the event loop. The close
    // box closes the same way.
    void Close();
    void BringToFront();
    bool Active() const;

    TPopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu* menu) { popupMenu_ = menu; }

    // Prints the client area's image on the printer chosen last, at the page's top-left,
    // scaled by the printer's resolution / 96.
    void Print();

    TNotifyEvent OnCreate;
    TNotifyEvent OnActivate;
    TCloseQueryEvent OnCloseQuery;
    TCloseEvent OnClose;

private:
    TPopupMenu* popupMenu_ = nullptr;
};

// The least outer size of a window with a caption, as the window system keeps it: a work that
// asks for less, or for nothing, still gets a window the user can see and take hold of.
constexpr int MinFormWidth = 112;
constexpr int MinFormHeight = 27;

class TDataModule : public TComponent {
public:
    explicit TDataModule(TComponent* owner) : TComponent(owner) {}
    TNotifyEvent OnCreate;
};

constexpr int HELP_CONTENTS = 3;

class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    // Creates the Qt application (once per process) at 96 pixels per inch, whatever scaling the
    // environment asks of Qt; loads Qt's Japanese translation and installs the default font
    // substitutions.
    void Initialize();
    AnsiString Title() const { return title_; }
    void SetTitle(const AnsiString& title) { title_ = title; }
    AnsiString HelpFile() const { return helpFile_; }
    void SetHelpFile(const AnsiString& file) { helpFile_ = file; }

    // Creates a window or data module into its variable, then runs its OnCreate.
    // The first form created becomes the main window.
    template <class T>
    void CreateForm(T*& reference)
    {
        reference = new T(this);
        Created(reference);
    }

    // Shows the main window and runs the event loop until it closes.
    void Run();
    TForm* MainForm() const { return mainForm_; }
    // Processes pending events (tests and long waits).
    void ProcessMessages();

    // The default error box: caption = Title, stop icon, OK; "." appended to a message whose
    // last byte sorts after ".".
    void ShowException(const std::exception& error);
    // Shows the contents page of HelpFile in the help viewer window.
    void HelpCommand(int command, long data);

private:
    friend class TForm;
    void Created(TComponent* component);
    AnsiString title_;
    AnsiString helpFile_;
    TForm* mainForm_ = nullptr;
};

extern TApplication* Application;

using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crDrag = -12;

// The application-wide cursor: any value but crDefault shows over every window of the program.
class TScreen {
public:
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor cursor);

private:
    TCursor cursor_ = crDefault;
};

extern TScreen* Screen;

namespace tk {
// Runs an event handler; an exception that leaves it is shown in the default error box.
void Dispatch(const std::function<void()>& handler);
} // namespace tk
