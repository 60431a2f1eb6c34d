// The viewer's player window: the common player, placed near the screen's corner, without
// a popup menu or printing.
#pragma once

#include "player.h"

class TForm3 : public TPlayerWindow {
public:
    explicit TForm3(TComponent* owner);

    void FormCreate(TObject* Sender);
    void Timer1Timer(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);
};

extern TForm3* Form3;
