// The viewer window: its layout, start-up, and the open, view, quit, mode and speed commands.
#include "shunit1.h"
#include "shunit2.h"
#include "workfile.h"

TForm1* Form1 = nullptr;

namespace {

void SetJapaneseFont(TFont* font, int pixels)
{
    font->SetName("ＭＳ Ｐゴシック");
    font->SetHeight(-pixels);
    font->SetCharset(SHIFTJIS_CHARSET);
}

} // namespace

TForm1::TForm1(TComponent* owner) : TForm(owner)
{
    SetCaption("Pagora Viewer Ver1.20 R2");
    SetBounds(125, 113, 373, 376);
    // Set before the controls are placed, so that they take it as their parent's font.
    SetJapaneseFont(Font(), 12);
    SetIcon("viewer.ico");

    // Created in the order of the window's components, which is also its tab order: the
    // status field before the settings panel, the seconds before the mode. The glyph buttons
    // never take the focus.
    OpenDialog1 = new TOpenDialog(this);
    OpenDialog1->Filter = "kse(*.kse)|*.kse|all(*.*)|*.*";
    // A typed name need not exist: the reader reports a missing file. No title of its own.
    OpenDialog1->Options = ofHideReadOnly | ofEnableSizing;

    SpeedButton1 = PlaceControl<TSpeedButton>(this, this, 64, 288, 217, 49);
    SpeedButton1->SetFlat(true);
    SpeedButton1->SetGlyph("view-quit.bmp");
    Panel1 = PlaceControl<TPanel>(this, this, 16, 8, 337, 265);
    SpeedButton2 = PlaceControl<TSpeedButton>(this, Panel1, 16, 72, 153, 65);
    SpeedButton2->SetFlat(true);
    SpeedButton2->SetGlyph("view-open.bmp");
    Edit1 = PlaceControl<TEdit>(this, Panel1, 8, 24, 313, 24);
    Edit1->SetReadOnly(true);
    SetJapaneseFont(Edit1->Font(), 16);
    SpeedButton3 = PlaceControl<TSpeedButton>(this, Panel1, 16, 168, 153, 73);
    SpeedButton3->SetFlat(true);
    SpeedButton3->SetGlyph("view-play.bmp");
    Panel2 = PlaceControl<TPanel>(this, Panel1, 184, 72, 137, 177);
    SpinEdit1 = PlaceControl<TSpinEdit>(this, Panel2, 24, 144, 57, 24);
    SetJapaneseFont(SpinEdit1->Font(), 15);
    SpinEdit1->SetMinValue(1);
    SpinEdit1->SetMaxValue(120);
    SpinEdit1->SetValue(1);
    RadioGroup1 = PlaceControl<TRadioGroup>(this, Panel2, 8, 8, 121, 97);
    RadioGroup1->SetCaption("さくひんの見かた");
    RadioGroup1->SetItems({"ふつうに見る", "じどうで見る", "じどうでくりかえす"});
    RadioGroup1->SetItemIndex(0);
    Label1 = PlaceControl<TLabel>(this, Panel2, 16, 120, 101, 12);
    Label1->SetCaption("じどうでめくるはやさ");
    Label2 = PlaceControl<TLabel>(this, Panel2, 88, 152, 29, 12);
    Label2->SetCaption("びょう");

    OnCreate = [this](TObject* s) { FormCreate(s); };
    SpeedButton1->OnClick = [this](TObject* s) { SpeedButton1Click(s); };
    SpeedButton2->OnClick = [this](TObject* s) { SpeedButton2Click(s); };
    SpeedButton3->OnClick = [this](TObject* s) { SpeedButton3Click(s); };
    RadioGroup1->OnClick = [this](TObject* s) { RadioGroup1Click(s); };
    SpinEdit1->OnChange = [this](TObject* s) { SpinEdit1Change(s); };
}

void TForm1::FormCreate(TObject*)
{
    StartFolder = tk::GetCurrentDir() + "\\";
    WorkFileName.clear();
    CurrentPage = 1;
    ResetAllPages();
    WorkWidth = DefaultWorkWidth;
    WorkHeight = DefaultWorkHeight;
    Edit1->SetText("なにもよみこまれていません");
    ViewMode = 1;
    AutoSeconds = 1;
    // The field shows 1 already, so this raises no change.
    SpinEdit1->SetValue(AutoSeconds);
    // The radio group stays on its first item, which is ViewMode 1.
}

// Quit: the viewer writes nothing, so there is nothing to ask.
void TForm1::SpeedButton1Click(TObject*) { Close(); }

// Open a work. The reader changes nothing unless the whole file reads, and the work's name is
// taken only after it has: a file that fails to open leaves the work that is loaded, its name
// in the status field and in the player's caption, as they were.
void TForm1::SpeedButton2Click(TObject*)
{
    if (!OpenDialog1->Execute())
        return;
    const AnsiString chosen = OpenDialog1->FileName;
    ReadWorkFile(chosen);
    WorkFileName = chosen;
    Edit1->SetText(WorkFileName);
}

// View: the player starts at page 1; its activation lays the page out shortly after.
void TForm1::SpeedButton3Click(TObject*)
{
    CurrentPage = 1;
    Form3->Show();
}

void TForm1::RadioGroup1Click(TObject*) { ViewMode = RadioGroup1->ItemIndex() + 1; }

// Runs on every change of the field's text, each keystroke included.
void TForm1::SpinEdit1Change(TObject*) { AutoSeconds = SpinEdit1->Value(); }
