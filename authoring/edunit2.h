// The link dialog: sets the link of one element of the page being edited.
#pragma once

#include "edunit0.h"
#include "forms.h"

class TForm2 : public TForm {
public:
    explicit TForm2(TComponent* owner);

    TLabel* Label1;
    TLabel* Label2;
    TLabel* Label3;
    TSpinEdit* SpinEdit1;
    TButton* Button1;

    void FormCreate(TObject* Sender);
    void FormActivate(TObject* Sender);
    void Button1Click(TObject* Sender);
};

extern TForm2* Form2;

// The link field of the element that an element code names on a page, or null for the codes
// that name no element (0, 7, negative, above 9).
std::int32_t* ElementLink(datax& page, std::int32_t elementCode);
