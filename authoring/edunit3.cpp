// The authoring program's player window: the preview of the work, which can print itself.
#include "edunit3.h"

TForm3* Form3 = nullptr;

TForm3::TForm3(TComponent* owner) : TPlayerWindow(owner, 2, 1)
{
    PopupMenu1 = new TPopupMenu(this);
    print1 = new TMenuItem(this);
    print1->SetCaption("いんさつ");
    PopupMenu1->Add(print1);
    PrintDialog1 = new TPrintDialog(this);
    SetPopupMenu(PopupMenu1);

    OnCreate = [this](TObject* s) { FormCreate(s); };
    Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    Timer2->OnTimer = [this](TObject* s) { Timer2Timer(s); };
    print1->OnClick = [this](TObject* s) { print1Click(s); };
}

void TForm3::FormCreate(TObject*) { CreateCommon(); }

void TForm3::Timer1Timer(TObject*) { LayOutAfterActivation(); }

// The sound keeper; a failed replay closes the device.
void TForm3::Timer2Timer(TObject*) { KeepPageSound(FailedReplay::CloseDevice); }

// The close action stays the default: the window hides and comes back with the next show.
void TForm3::FormClose(TObject*, TCloseAction&) { StopOnClose(); }

void TForm3::print1Click(TObject*)
{
    if (PrintDialog1->Execute())
        Print();
}
