// The viewer's player window: plays the opened work page by page.
#include "shunit2.h"

TForm3* Form3 = nullptr;

TForm3::TForm3(TComponent* owner) : TPlayerWindow(owner, 6, 7)
{
    OnCreate = [this](TObject* s) { FormCreate(s); };
    Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
}

void TForm3::FormCreate(TObject*) { CreateCommon(); }

void TForm3::Timer1Timer(TObject*) { LayOutAfterActivation(); }

// The close action stays the default: the window hides and comes back with the next view.
void TForm3::FormClose(TObject*, TCloseAction&) { StopOnClose(); }
