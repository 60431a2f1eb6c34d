// The viewer window: open a work, view it, quit, the viewing mode and the seconds per page.
#pragma once

#include "dialogs.h"
#include "forms.h"
#include "shunit0.h"

class TForm1 : public TForm {
public:
    explicit TForm1(TComponent* owner);

    TOpenDialog* OpenDialog1;
    TSpeedButton* SpeedButton1; // quit
    TPanel* Panel1;
    TSpeedButton* SpeedButton2; // open a work
    TEdit* Edit1;               // the open work's path
    TSpeedButton* SpeedButton3; // view
    TPanel* Panel2;
    TSpinEdit* SpinEdit1;       // seconds per page
    TRadioGroup* RadioGroup1;   // viewing mode
    TLabel* Label1;
    TLabel* Label2;

    void FormCreate(TObject* Sender);
    void SpeedButton1Click(TObject* Sender);
    void SpeedButton2Click(TObject* Sender);
    void SpeedButton3Click(TObject* Sender);
    void RadioGroup1Click(TObject* Sender);
    void SpinEdit1Change(TObject* Sender);
};

extern TForm1* Form1;
