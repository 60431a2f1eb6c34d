// Modal boxes and the common dialogs. Each kind of modal interaction goes through one entry
// point that tests can answer (tk::SetModalAnswers); without an answer the real Qt dialog runs.
#pragma once

#include "graphics.h"
#include "sysutils.h"
#include "controls.h"

#include <functional>
#include <optional>

constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;
constexpr int mrYes = 6;
constexpr int mrNo = 7;

// Warning box: caption "警告", buttons "OK" and "キャンセル"; Esc and the close box answer
// mrCancel. Returns mrOk or mrCancel.
int WarningBox(const AnsiString& text);
// Information box: caption "情報", buttons "はい(&Y)" and "いいえ(&N)". Returns mrYes or mrNo.
int InformationBox(const AnsiString& text);
// Input box; returns the typed text on OK and the default on Cancel. maxLength 0 = no limit.
AnsiString InputBox(const AnsiString& caption, const AnsiString& prompt, const AnsiString& defaultValue,
                    int maxLength = 0);

enum TOpenOption : unsigned {
    ofOverwritePrompt = 1,
    ofHideReadOnly = 2,
    ofNoChangeDir = 4,
    ofEnableSizing = 8,
    ofFileMustExist = 16,
};
using TOpenOptions = unsigned;

// A file dialog. Filter is "description|pattern|description|pattern..."; FilterIndex counts
// from 1. After OK, FileName holds the chosen full path, DefaultExt is added to a name typed
// without an extension, and the current folder becomes the chosen file's folder unless
// ofNoChangeDir is set. The dialog opens with the FileName it returned last.
class TOpenDialog : public TComponent {
public:
    enum class Kind { Open, Save, OpenPicture };
    explicit TOpenDialog(TComponent* owner, Kind kind = Kind::Open);
    AnsiString Title;
    AnsiString Filter;
    int FilterIndex = 1;
    AnsiString DefaultExt;
    AnsiString FileName;
    TOpenOptions Options = ofHideReadOnly | ofEnableSizing;
    bool Execute();
    Kind DialogKind() const { return kind_; }

private:
    Kind kind_;
};

class TSaveDialog : public TOpenDialog {
public:
    explicit TSaveDialog(TComponent* owner) : TOpenDialog(owner, Kind::Save) {}
};

class TOpenPictureDialog : public TOpenDialog {
public:
    explicit TOpenPictureDialog(TComponent* owner) : TOpenDialog(owner, Kind::OpenPicture) {}
};

// Font dialog with effects; opens with its own Font and holds the chosen one after OK.
class TFontDialog : public TComponent {
public:
    explicit TFontDialog(TComponent* owner);
    TFont* Font() { return &font_; }
    bool Execute();

private:
    TFont font_;
};

// Chooses the printer that TForm::Print uses.
class TPrintDialog : public TComponent {
public:
    explicit TPrintDialog(TComponent* owner) : TComponent(owner) {}
    bool Execute();
};

namespace tk {

struct MessageBoxRequest {
    enum class Kind { Warning, Information, Error } kind;
    AnsiString caption;
    AnsiString text;
};

struct InputBoxRequest {
    AnsiString caption;
    AnsiString prompt;
    AnsiString defaultValue;
    int maxLength;
};

struct FileDialogRequest {
    TOpenDialog::Kind kind;
    AnsiString title;
    AnsiString filter;
    int filterIndex;
    AnsiString defaultExt;
    AnsiString fileName; // offered name
    TOpenOptions options;
};

// Test answers. A set function answers its kind instead of the real dialog:
// messageBox returns mrOk/mrCancel/mrYes/mrNo (error boxes: any value); inputBox returns the
// typed text or nullopt for Cancel; fileDialog returns the name as typed (relative names are
// taken against the current folder) or nullopt for Cancel; fontDialog edits the font and
// returns OK; printDialog returns the PDF file to print into, or nullopt for Cancel.
struct ModalAnswers {
    std::function<int(const MessageBoxRequest&)> messageBox;
    std::function<std::optional<AnsiString>(const InputBoxRequest&)> inputBox;
    std::function<std::optional<AnsiString>(const FileDialogRequest&)> fileDialog;
    std::function<bool(TFont&)> fontDialog;
    std::function<std::optional<std::string>()> printDialog;
};
void SetModalAnswers(ModalAnswers answers);
const ModalAnswers& CurrentModalAnswers();

// Shows a message box through the entry point (used by the error box and the help viewer).
int ShowMessageBox(const MessageBoxRequest& request);

} // namespace tk
