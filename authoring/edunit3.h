// The authoring program's player window: the common player with printing on its popup menu.
#pragma once

#include "dialogs.h"
#include "player.h"

class TForm3 : public TPlayerWindow {
public:
    explicit TForm3(TComponent* owner);

    TPopupMenu* PopupMenu1;
    TMenuItem* print1;
    TPrintDialog* PrintDialog1;

    void FormCreate(TObject* Sender);
    void Timer1Timer(TObject* Sender);
    void Timer2Timer(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);
    void print1Click(TObject* Sender);
};

extern TForm3* Form3;
