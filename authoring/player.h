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
    void Timer2Timer(TObject* Sender);

    // What every program's FormCreate does first: the caption and the corner button's hint.
    void CreateCommon();
    // What every program's Timer1Timer does first: once per activation, take the work's
    // outer size, lay out the current page and enable the media player.
    void LayOutAfterActivation();
    // What every program's FormClose does first. Timer1 stops too, so that a close within
    // 200 ms of an activation never lays out a hidden window.
    void StopOnClose();
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

// The sound step of a page layout, acting on page n's sound.
void PageSoundStep(std::int32_t n);

