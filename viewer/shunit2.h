// The viewer's player window: the common player, placed near the screen's corner, without
// a popup menu or printing, and with automatic page turning.
#pragma once

#include "player.h"

class TForm3 : public TPlayerWindow {
public:
    explicit TForm3(TComponent* owner);

    TTimer* Timer3; // automatic page turning, every AutoSeconds seconds

    void FormCreate(TObject* Sender);
    void Timer1Timer(TObject* Sender);
    void Timer2Timer(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);
    void Timer3Timer(TObject* Sender);
};

extern TForm3* Form3;

// Whether a page has something to show: a visible picture, text or button, or a sound.
bool PageHasContent(const datax& page);

// The page-turn timer's interval for a number of seconds per page: 0 (no turning) for 0 or
// fewer seconds, and at most the longest interval a timer can count.
unsigned PageTurnInterval(std::int32_t seconds);
