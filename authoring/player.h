// The player window both programs show a work in: its components and the routines that lay
// out a page and follow the links of clicked elements.
#pragma once

#include "forms.h"
#include "mplayer.h"
#include "pagetable.h"

#include <cstdint>

// The player window's common part. Each program derives its own TForm3 from it, adds its
// program's components and binds FormCreate, Timer1Timer and FormClose, which start with the
// common steps below. The element clicks, the corner button, the activation and the sound
// keeper are bound here.
class TPlayerWindow : public TForm {
public:
    // Creates the window hidden at its design place on the screen; it becomes the window
    // that ShowPage and FollowLink act on.
    TPlayerWindow(TComponent* owner, int left, int top);
    ~TPlayerWindow() override;

    TImage* Image1;
    TImage* Image2;
    TImage* Image3;
    TMemo* Memo1;
    TMemo* Memo2;
    TMemo* Memo3;
    TButton* Button4;
    TMediaPlayer* MediaPlayer1;
    TButton* Button8;
    TTimer* Timer1; // one-shot layout after each activation
    TTimer* Timer2; // sound keeper
    TButton* Button1; // the corner button: back to page 1

    void Image1Click(TObject* Sender);
    void Image2Click(TObject* Sender);
    void Image3Click(TObject* Sender);
    void Memo1Click(TObject* Sender);
    void Memo2Click(TObject* Sender);
    void Memo3Click(TObject* Sender);
    void Button4Click(TObject* Sender);
    void Button8Click(TObject* Sender);
    void Button1Click(TObject* Sender);
    void FormActivate(TObject* Sender);

    // What every program's FormCreate does first: the caption and the corner button's hint.
    void CreateCommon();
    // What every program's Timer1Timer does first: once per activation, take the work's
    // outer size, lay out the current page and enable the media player.
    void LayOutAfterActivation();
    // What every program's FormClose does first. Timer1 stops too, so that a close within
    // 200 ms of an activation never lays out a hidden window.
    void StopOnClose();

    // Opens and plays a media-player sound as the sound step and the keeper do: any failure
    // leaves the page silent, without a message; the notify request is on afterwards.
    void PlayPageSound(const AnsiString& soundFile);

    // What the sound keeper does when it cannot play the page's sound again: the authoring
    // program closes the device, the viewer asks for a report instead.
    enum class FailedReplay { CloseDevice, AskForReport };
    // The sound keeper, which each program's Timer2Timer runs with its own answer.
    void KeepPageSound(FailedReplay answer);
};

// The one player window of the program, or null before it is created.
extern TPlayerWindow* PlayerWindow;

// The link of the element clicked last: a page, 0 for none, negative for the end of the work.
extern std::int32_t LinkTarget;

// Lays out page n in the player window; the caller sets CurrentPage. The window must be
// shown, since the focus goes to the corner button first. A number outside the table does
// nothing.
void ShowPage(std::int32_t n);

// Acts on LinkTarget: a page of the table is shown, a negative link closes the player, and 0
// or a number beyond the table does nothing.
void FollowLink();

// The sound step of a page layout: starts page n's sound. A name whose last byte is "3"
// (".mp3") is opened through the shell; any other goes to the media player.
void PageSoundStep(std::int32_t n);

// The show command that asks for the opened program's window to come up minimised.
constexpr std::int32_t SW_SHOWMINIMIZED = 2;

// Opens a file with the program the desktop associates with it, in folder (the current
// folder when empty). Parameters and show command have no counterpart on the desktop and are
// not passed on. Nothing is reported, whatever happens.
void ShellOpen(const AnsiString& file, const AnsiString& parameters, const AnsiString& folder, std::int32_t showCommand);

