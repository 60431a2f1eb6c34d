// The link dialog: loads the element's link whenever it is created or activated, and stores
// the confirmed value.
#include "edunit2.h"

TForm2* Form2 = nullptr;

std::int32_t* ElementLink(datax& page, std::int32_t elementCode)
{
    switch (elementCode) {
    case 1: case 2: case 3: return &page.Pictures[elementCode].Link;
    case 4: case 5: case 6: return &page.Texts[elementCode - 3].Link;
    case 8: case 9: return &page.Buttons[elementCode - 7].Link;
    default: return nullptr;
    }
}

TForm2::TForm2(TComponent* owner) : TForm(owner)
{
    SetCaption("リンク先の指定");
    Font()->SetName("ＭＳ Ｐゴシック");
    Font()->SetHeight(-12);
    Font()->SetCharset(SHIFTJIS_CHARSET);
    SetBounds(207, 210, 331, 147);
    SetIcon("pagoraed.ico");

    Label1 = PlaceControl<TLabel>(this, this, 16, 8, 295, 15);
    Label1->Font()->SetHeight(-15);
    Label1->Font()->SetStyle(fsBold);
    Label1->SetCaption("クリックした時のジャンプ先ページをきめます");
    Label2 = PlaceControl<TLabel>(this, this, 120, 32, 159, 13);
    Label2->Font()->SetHeight(-13);
    Label2->SetCaption("（０にするとジャンプしません）");
    Label3 = PlaceControl<TLabel>(this, this, 112, 56, 194, 12);
    Label3->SetCaption("（－１で さくひんのおわりをしめします）");
    SpinEdit1 = PlaceControl<TSpinEdit>(this, this, 16, 40, 89, 47);
    SpinEdit1->Font()->SetHeight(-37);
    SpinEdit1->Font()->SetStyle(fsBold);
    SpinEdit1->SetMinValue(-1);
    SpinEdit1->SetMaxValue(PageCount);
    SpinEdit1->SetValue(0);
    Button1 = PlaceControl<TButton>(this, this, 160, 80, 73, 33);
    Button1->Font()->SetHeight(-13);
    Button1->Font()->SetStyle(fsBold);
    Button1->SetCaption("けってい");

    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnActivate = [this](TObject* s) { FormActivate(s); };
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
}

void TForm2::FormCreate(TObject*)
{
    if (!IsPageNumber(EditPage))
        return;
    if (const std::int32_t* link = ElementLink(Pages[EditPage], LinkElement))
        SpinEdit1->SetValue(*link);
}

// Each activation loads the field again and puts the typing there, over its whole text: the
// focus would otherwise come back to "けってい", which shows no mark of it, and digits typed
// then would go nowhere.
void TForm2::FormActivate(TObject* Sender)
{
    FormCreate(Sender);
    SpinEdit1->SetFocus();
    SpinEdit1->SelectAll();
}

void TForm2::Button1Click(TObject*)
{
    std::int32_t v = SpinEdit1->Value();
    LinkValue = v;
    if (IsPageNumber(EditPage)) {
        if (std::int32_t* link = ElementLink(Pages[EditPage], LinkElement))
            *link = LinkValue;
    }
    Close();
}
