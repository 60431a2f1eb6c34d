// The editing window: its layout, start-up, erase all, quit and help, the page store and
// show, the page selector, the element check boxes, the mouse-mode selector and the view command,
// the contents dialogs and link choice, dragging and the paint program.
#include "edunit1.h"
#include "edunit2.h"
#include "edunit3.h"
#include "elementpicture.h"
#include "pagelayout.h"
#include "process.h"
#include "workfile.h"

#include <algorithm>

TForm1* Form1 = nullptr;

std::int32_t MouseMode = 0;
std::int32_t DragKind = 0;
bool Dragging = false;
bool SkipPageChange = false;
AnsiString DialogFileName;

namespace {

const char* const WorkFileFilter = "kse(*.kse)|*.kse|all(*.*)|*.*";

} // namespace

TForm1::TForm1(TComponent* owner) : TForm(owner)
{
    SetCaption("Pagora Ver 3.00");
    Font()->SetName("ＭＳ Ｐゴシック");
    Font()->SetHeight(-12);
    SetIcon("pagoraed.ico");
    SetBounds(Left(), Top(), 793, 568);

    // The elements of the page being edited.
    Image1 = PlaceControl<TImage>(this, this, 8, 16, 81, 81);
    Image2 = PlaceControl<TImage>(this, this, 8, 112, 81, 81);
    Image3 = PlaceControl<TImage>(this, this, 8, 208, 81, 81);
    for (int i = 1; i <= 3; ++i) {
        PictureControl(i)->SetStretch(true);
        PictureControl(i)->Picture()->LoadFromResource(LayoutPictureResource);
    }
    Memo1 = PlaceControl<TMemo>(this, this, 104, 16, 129, 137);
    Memo2 = PlaceControl<TMemo>(this, this, 248, 16, 129, 137);
    Memo3 = PlaceControl<TMemo>(this, this, 392, 16, 121, 137);
    Memo1->SetText("文１");
    Memo2->SetText("文２");
    Memo3->SetText("文３");
    Button4 = PlaceControl<TButton>(this, this, 24, 472, 65, 33);
    Button4->SetCaption("ﾎﾞﾀﾝ1");
    Button8 = PlaceControl<TButton>(this, this, 96, 472, 65, 33);
    Button8->SetCaption("ﾎﾞﾀﾝ2");

    // The tool panel; its controls are created in tab order.
    Panel1 = PlaceControl<TPanel>(this, this, 576, 8, 201, 497);
    Edit1 = PlaceControl<TEdit>(this, Panel1, 8, 8, 185, 22);
    Edit1->SetText("Edit1");
    Edit1->SetReadOnly(true);
    SpinEdit1 = PlaceControl<TSpinEdit>(this, Panel1, 88, 56, 105, 36);
    SpinEdit1->Font()->SetName("ＭＳ Ｐゴシック");
    SpinEdit1->Font()->SetHeight(-24);
    SpinEdit1->Font()->SetStyle(fsBold);
    SpinEdit1->SetMinValue(1);
    SpinEdit1->SetMaxValue(PageCount);
    SpinEdit1->SetValue(1);
    Button1 = PlaceControl<TButton>(this, Panel1, 88, 240, 105, 25);
    Button1->SetCaption("おしまい");
    GroupBox1 = PlaceControl<TGroupBox>(this, Panel1, 8, 40, 73, 233);
    GroupBox1->SetCaption("つかうもの");
    const char* const boxCaptions[] = {"絵１", "絵２", "絵３", "文１", "文２", "文３", "音", "ボタン1", "ボタン２"};
    const int boxWidths[] = {41, 41, 41, 41, 41, 41, 49, 57, 57};
    TCheckBox** boxes[] = {&CheckBox1, &CheckBox2, &CheckBox3, &CheckBox4, &CheckBox5,
                           &CheckBox6, &CheckBox7, &CheckBox8, &CheckBox9};
    for (int k = 1; k <= 9; ++k) {
        TCheckBox* box = PlaceControl<TCheckBox>(this, GroupBox1, 8, 16 + 24 * (k - 1), boxWidths[k - 1], 17);
        box->SetCaption(boxCaptions[k - 1]);
        *boxes[k - 1] = box;
    }
    Button2 = PlaceControl<TButton>(this, Panel1, 88, 104, 105, 25);
    Button2->SetCaption("よみこみ");
    Button3 = PlaceControl<TButton>(this, Panel1, 88, 136, 105, 25);
    Button3->SetCaption("かきこみ");
    Button5 = PlaceControl<TButton>(this, Panel1, 72, 304, 49, 25);
    Button5->SetCaption("音");
    Button5->Hide();
    Button6 = PlaceControl<TButton>(this, Panel1, 88, 168, 105, 25);
    Button6->SetCaption("ぜんぶけす");
    Button7 = PlaceControl<TButton>(this, Panel1, 88, 200, 105, 25);
    Button7->SetCaption("見る");
    RadioGroup2 = PlaceControl<TRadioGroup>(this, Panel1, 8, 336, 185, 97);
    RadioGroup2->SetCaption("マウスで");
    RadioGroup2->SetItems({"なかみ", "いち と大きさ", "ジャンプ"});
    RadioGroup2->SetItemIndex(0);
    Edit2 = PlaceControl<TEdit>(this, Panel1, 8, 280, 169, 20);
    Edit2->SetText("BGM filename");
    Edit2->SetReadOnly(true);
    Edit2->Hide();
    Button9 = PlaceControl<TButton>(this, Panel1, 8, 440, 81, 25);
    Button9->SetCaption("ﾊﾟｽなし保存");
    Button10 = PlaceControl<TButton>(this, Panel1, 112, 440, 73, 25);
    Button10->SetCaption("新ﾊﾟｽ保存");
    Label1 = PlaceControl<TLabel>(this, Panel1, 88, 40, 105, 14);
    Label1->SetCaption("いまのページは");
    SpeedButton1 = PlaceControl<TSpeedButton>(this, Panel1, 152, 300, 33, 33);
    SpeedButton1->SetGlyph("help.bmp");
    SpeedButton1->SetFlat(true);
    Label2 = PlaceControl<TLabel>(this, Panel1, 8, 474, 185, 14);
    Label2->SetCaption("（このパネルはドラッグできます）");
    // Only the controls that get a hint show one.
    for (TControl* control : std::initializer_list<TControl*>{Button1, Button2, Button3, Button6, Button7, Edit2,
                                                              Button9, Button10, SpeedButton1})
        control->SetShowHint(true);

    OpenDialog1 = new TOpenDialog(this);
    OpenDialog1->Title = "さくひんをよみこみます";
    OpenDialog1->Filter = WorkFileFilter;
    OpenDialog1->Options = ofHideReadOnly | ofEnableSizing;
    SaveDialog1 = new TSaveDialog(this);
    SaveDialog1->Title = "さくひんをほぞんします";
    SaveDialog1->DefaultExt = "kse";
    SaveDialog1->Filter = WorkFileFilter;
    SaveDialog1->Options = ofOverwritePrompt | ofHideReadOnly;
    OpenPictureDialog1 = new TOpenPictureDialog(this);
    OpenPictureDialog1->Title = "えをよみこみます";
    OpenPictureDialog1->Filter =
        "すべてのﾌｧｲﾙ (*.bmp;*.ico;*.emf;*.wmf;*.jpg)|*.bmp;*.ico;*.emf;*.wmf;*.jpg|ﾋﾞｯﾄﾏｯﾌﾟ (*.bmp)|*.bmp|"
        "ｱｲｺﾝ (*.ico)|*.ico|ｴﾝﾊﾝｽ ﾒﾀﾌｧｲﾙ (*.emf)|*.emf|ﾒﾀﾌｧｲﾙ (*.wmf)|*.wmf|jpeg(*.jpg)|*.jpg";
    FontDialog1 = new TFontDialog(this);
    OpenDialog2 = new TOpenDialog(this);
    OpenDialog2->Title = "音をよみこみます";
    OpenDialog2->Filter = "wav;mid;avi;mp3(*.wav;*.mid;*.avi;*.mp3)|*.wav;*.mid;*.avi;*.mp3|all(*.*)|*.*";

    // Event bindings.
    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnCloseQuery = [this](TObject* s, bool& canClose) { FormCloseQuery(s, canClose); };
    Image1->OnClick = [this](TObject* s) { Image1Click(s); };
    Image2->OnClick = [this](TObject* s) { Image2Click(s); };
    Image3->OnClick = [this](TObject* s) { Image3Click(s); };
    Image1->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) { Image1MouseDown(s, b, sh, x, y); };
    Image2->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) { Image2MouseDown(s, b, sh, x, y); };
    Image3->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) { Image3MouseDown(s, b, sh, x, y); };
    Image1->OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { Image1MouseMove(s, sh, x, y); };
    Image2->OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { Image2MouseMove(s, sh, x, y); };
    Image3->OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { Image3MouseMove(s, sh, x, y); };
    Memo1->OnDblClick = [this](TObject* s) { Memo1DblClick(s); };
    Memo2->OnDblClick = [this](TObject* s) { Memo2DblClick(s); };
    Memo3->OnDblClick = [this](TObject* s) { Memo3DblClick(s); };
    Memo1->OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { Memo1MouseMove(s, sh, x, y); };
    Memo2->OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { Memo2MouseMove(s, sh, x, y); };
    Memo3->OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { Memo3MouseMove(s, sh, x, y); };
    Button4->OnClick = [this](TObject* s) { Button4Click(s); };
    Button8->OnClick = [this](TObject* s) { Button8Click(s); };
    Button4->OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { Button4MouseMove(s, sh, x, y); };
    Button8->OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { Button8MouseMove(s, sh, x, y); };
    // The page buttons share picture 1's press handler; all eight elements share one release.
    for (TControl* control : std::initializer_list<TControl*>{Button4, Button8})
        control->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) { Image1MouseDown(s, b, sh, x, y); };
    for (TControl* control : std::initializer_list<TControl*>{Memo1, Memo2, Memo3})
        control->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) { Memo1MouseDown(s, b, sh, x, y); };
    for (TControl* control : std::initializer_list<TControl*>{Image1, Image2, Image3, Memo1, Memo2, Memo3, Button4, Button8})
        control->OnMouseUp = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) { Image1MouseUp(s, b, sh, x, y); };
    Panel1->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) { Panel1MouseDown(s, b, sh, x, y); };
    Panel1->OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { Panel1MouseMove(s, sh, x, y); };
    Panel1->OnMouseUp = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) { Panel1MouseUp(s, b, sh, x, y); };
    SpinEdit1->OnChange = [this](TObject* s) { SpinEdit1Change(s); };
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
    CheckBox1->OnClick = [this](TObject* s) { CheckBox1Click(s); };
    CheckBox2->OnClick = [this](TObject* s) { CheckBox2Click(s); };
    CheckBox3->OnClick = [this](TObject* s) { CheckBox3Click(s); };
    CheckBox4->OnClick = [this](TObject* s) { CheckBox4Click(s); };
    CheckBox5->OnClick = [this](TObject* s) { CheckBox5Click(s); };
    CheckBox6->OnClick = [this](TObject* s) { CheckBox6Click(s); };
    CheckBox7->OnClick = [this](TObject* s) { CheckBox7Click(s); };
    CheckBox8->OnClick = [this](TObject* s) { CheckBox8Click(s); };
    CheckBox9->OnClick = [this](TObject* s) { CheckBox9Click(s); };
    Button2->OnClick = [this](TObject* s) { Button2Click(s); };
    Button3->OnClick = [this](TObject* s) { Button3Click(s); };
    Button5->OnClick = [this](TObject* s) { Button5Click(s); };
    Button6->OnClick = [this](TObject* s) { Button6Click(s); };
    Button7->OnClick = [this](TObject* s) { Button7Click(s); };
    RadioGroup2->OnClick = [this](TObject* s) { RadioGroup2Click(s); };
    Button9->OnClick = [this](TObject* s) { Button9Click(s); };
    Button10->OnClick = [this](TObject* s) { Button10Click(s); };
    SpeedButton1->OnClick = [this](TObject* s) { SpeedButton1Click(s); };
}

TImage* TForm1::PictureControl(int i) const
{
    TImage* const controls[] = {Image1, Image2, Image3};
    return controls[i - 1];
}

TMemo* TForm1::TextControl(int i) const
{
    TMemo* const controls[] = {Memo1, Memo2, Memo3};
    return controls[i - 1];
}

TButton* TForm1::ButtonControl(int j) const { return j == 1 ? Button4 : Button8; }

ElementControls TForm1::Elements() const
{
    return {{Image1, Image2, Image3}, {Memo1, Memo2, Memo3}, {Button4, Button8}};
}

TCheckBox* TForm1::ElementBox(int k) const
{
    TCheckBox* const boxes[] = {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5,
                                CheckBox6, CheckBox7, CheckBox8, CheckBox9};
    return boxes[k - 1];
}

// ---------------------------------------------------------------------------------------------
// Start-up, erase all, quit, help

void TForm1::FormCreate(TObject*)
{
    SkipPageChange = false;
    ResetAllPages();
    WorkWidth = DefaultWorkWidth;
    WorkHeight = DefaultWorkHeight;
    SetWidth(WorkWidth);
    SetHeight(WorkHeight);
    for (TControl* element : std::initializer_list<TControl*>{Image1, Image2, Image3, Memo1, Memo2, Memo3, Button4, Button8})
        element->Hide();
    Dragging = false;
    MouseMode = 1;
    DragKind = 1;
    EditPage = 1;
    CurrentPage = 1;
    SpinEdit1->SetValue(EditPage);
    LinkValue = 0;
    LinkElement = 1;
    DialogFileName.clear();
    WorkFileName.clear();
    StartFolder = tk::GetCurrentDir() + "\\";
    Edit1->SetText("あたらしいさくひんです");
    Button1->SetHint("プログラムをおわります");
    Button3->SetHint("ディスクにしまいます");
    Button2->SetHint("ディスクからよみこみます");
    Button6->SetHint("あたらしいさくひんをつくります");
    Button7->SetHint("さくひんを見ます");
    Button9->SetHint("さくひんのパスを取ったものをディスクにしまいます");
    Button10->SetHint("さくひんをパスを変えたものをディスクにしまいます");
    SpeedButton1->SetHint("ヘルプを見ます");
    Edit2->SetHint("音のファイルのなまえです");
}

void TForm1::Button6Click(TObject*)
{
    if (WarningBox("ファイルをけしてしまっていいですか？") != mrOk)
        return;
    ResetAllPages();
    Button4->Hide();
    Button8->Hide();
    WorkWidth = DefaultWorkWidth;
    WorkHeight = DefaultWorkHeight;
    SetWidth(WorkWidth);
    SetHeight(WorkHeight);
    const datax& r = Pages[EditPage];
    for (int k = 1; k <= 9; ++k)
        ElementBox(k)->SetChecked(false);
    // The reset record reaches the element controls as a shown page does (all hidden, the
    // mascot in the pictures), except that the two buttons keep their position and size.
    const int kept[2][4] = {{Button4->Left(), Button4->Top(), Button4->Width(), Button4->Height()},
                            {Button8->Left(), Button8->Top(), Button8->Width(), Button8->Height()}};
    ApplyPageElements(r, Elements());
    for (int j = 1; j <= 2; ++j)
        ButtonControl(j)->SetBounds(kept[j - 1][0], kept[j - 1][1], kept[j - 1][2], kept[j - 1][3]);
    Button5->Hide();
    Edit1->SetText("");
    Edit2->SetText("");
    Dragging = false;
    MouseMode = 1;
    EditPage = 1;
    RadioGroup2->SetItemIndex(0);
    // The change this raises is the reset itself, not a page the user chose. The flag is set
    // only around the call, so it never lingers to swallow a later change by the user.
    SkipPageChange = true;
    SpinEdit1->SetValue(EditPage);
    SkipPageChange = false;
    LinkValue = 0;
    LinkElement = 1;
    DialogFileName.clear();
    WorkFileName.clear();
}

// The question is the window's close query, so that the close box asks it too.
void TForm1::Button1Click(TObject*) { Close(); }

void TForm1::FormCloseQuery(TObject*, bool& CanClose)
{
    CanClose = WarningBox("プログラムをおわります。ファイルはほぞんしてありますか？") == mrOk;
}

void TForm1::SpeedButton1Click(TObject*)
{
    Application->SetHelpFile(StartFolder + "pagoraed.hlp");
    Application->HelpCommand(HELP_CONTENTS, 0);
}

// ---------------------------------------------------------------------------------------------
// Storing and showing a page

void StoreEditorPage()
{
    if (!IsPageNumber(EditPage))
        return;
    TForm1* f = Form1;
    datax& r = Pages[EditPage];
    for (int i = 1; i <= 3; ++i) {
        TImage* image = f->PictureControl(i);
        datag1& picture = r.Pictures[i];
        picture.Visible = image->Visible();
        picture.Top = image->Top();
        picture.Height = image->Height();
        picture.Left = image->Left();
        picture.Width = image->Width();
    }
    for (int i = 1; i <= 3; ++i) {
        TMemo* memo = f->TextControl(i);
        datat1& text = r.Texts[i];
        text.Visible = memo->Visible();
        text.Top = memo->Top();
        text.Height = memo->Height();
        text.Left = memo->Left();
        text.Width = memo->Width();
        text.FontColor = memo->Font()->Color();
        text.FontName = memo->Font()->Name();
        text.FontSize = memo->Font()->Size();
        text.Text = memo->Text();
    }
    for (int j = 1; j <= 2; ++j) {
        TButton* button = f->ButtonControl(j);
        datab1& b = r.Buttons[j];
        b.Visible = button->Visible();
        b.Caption = button->Caption();
        b.Top = button->Top();
        b.Height = button->Height();
        b.Left = button->Left();
        b.Width = button->Width();
    }
    if (!f->CheckBox7->Checked())
        r.SoundFile.clear();
}

void ShowEditorPage(std::int32_t n)
{
    if (!IsPageNumber(n))
        return;
    TForm1* f = Form1;
    const datax& r = Pages[n];
    for (int i = 1; i <= 3; ++i)
        f->ElementBox(i)->SetChecked(r.Pictures[i].Visible);
    for (int i = 1; i <= 3; ++i)
        f->ElementBox(3 + i)->SetChecked(r.Texts[i].Visible);
    f->CheckBox7->SetChecked(!r.SoundFile.empty());
    f->CheckBox8->SetChecked(r.Buttons[1].Visible);
    f->CheckBox9->SetChecked(r.Buttons[2].Visible);

    ApplyPageElements(r, f->Elements());
    f->Edit2->SetText(r.SoundFile);
    bool showSound = f->CheckBox7->Checked() && MouseMode == 1;
    f->Button5->SetVisible(showSound);
    f->Edit2->SetVisible(showSound);
}

void TForm1::SpinEdit1Change(TObject*)
{
    if (SkipPageChange) {
        SkipPageChange = false;
        return;
    }
    // While a number outside the table is being typed the selector waits: it acts again once
    // the value is back in range, or clamped when the field is left.
    std::int32_t page = SpinEdit1->Value();
    if (!IsPageNumber(page))
        return;
    StoreEditorPage();
    EditPage = page;
    ShowEditorPage(EditPage);
}

void TForm1::Button7Click(TObject*)
{
    StoreEditorPage();
    WorkWidth = Width();
    WorkHeight = Height();
    CurrentPage = 1;
    Form3->Show();
}

// ---------------------------------------------------------------------------------------------
// Saving and loading the work

// A field that the work file cannot carry (a text line that is exactly "*", a line break in a
// one-line field as it would be written): the save commands say so and stop before any file is
// opened.
static bool RefuseUnsavable(const FileNameMapping& mapping)
{
    if (auto warning = FindUnsavableField(Pages, mapping)) {
        WarningBox(*warning);
        return true;
    }
    return false;
}

void TForm1::Button3Click(TObject*)
{
    StoreEditorPage();
    if (RefuseUnsavable(NameAsHeld))
        return;
    if (!SaveDialog1->Execute())
        return;
    DialogFileName = SaveDialog1->FileName;
    WriteWorkFile(DialogFileName, NameAsHeld, Width(), Height());
    WorkFileName = DialogFileName;
    Edit1->SetText(WorkFileName);
}

// The two save variants write a copy with rewritten picture and sound names; the work in
// memory keeps its full names, and its name and status field stay as they were.
static void SaveCopy(TForm1* form, const FileNameMapping& mapping)
{
    if (!form->SaveDialog1->Execute())
        return;
    StoreEditorPage();
    if (RefuseUnsavable(mapping))
        return;
    DialogFileName = form->SaveDialog1->FileName;
    WriteWorkFile(DialogFileName, mapping, form->Width(), form->Height());
}

void TForm1::Button9Click(TObject*)
{
    if (WarningBox("さくひんのパスを取ってほぞんします") != mrOk)
        return;
    SaveCopy(this, BaseName);
}

void TForm1::Button10Click(TObject*)
{
    if (WarningBox("さくひんのパスを変えてほぞんします") != mrOk)
        return;
    // Taken exactly as typed: no blank trimmed, no separator added or removed.
    const AnsiString NewFolder =
        InputBox("あたらしいパスのしてい", "あたらしいパスを入れてください(最後の\\は不要) ", "", 255);
    SaveCopy(this, [&NewFolder](const AnsiString& name) {
        AnsiString base = BaseName(name);
        return base.empty() ? base : NewFolder + "\\" + base;
    });
}

void TForm1::Button2Click(TObject*)
{
    if (!OpenDialog1->Execute())
        return;
    DialogFileName = OpenDialog1->FileName;
    // Only a complete, valid file replaces the work; a failure stops here with the work as it was.
    ReadWorkFile(DialogFileName);
    WorkFileName = DialogFileName;
    Edit1->SetText(WorkFileName);
    EditPage = 1;
    RadioGroup2->SetItemIndex(0);
    MouseMode = 1;
    Button5->Hide();
    SetWidth(WorkWidth);
    SetHeight(WorkHeight);
    ShowEditorPage(EditPage);
    SpinEdit1->SetValue(EditPage);
}

// ---------------------------------------------------------------------------------------------
// Element check boxes and the mouse-mode selector

void TForm1::CheckBox1Click(TObject*) { Image1->SetVisible(CheckBox1->Checked()); }
void TForm1::CheckBox2Click(TObject*) { Image2->SetVisible(CheckBox2->Checked()); }
void TForm1::CheckBox3Click(TObject*) { Image3->SetVisible(CheckBox3->Checked()); }
void TForm1::CheckBox4Click(TObject*) { Memo1->SetVisible(CheckBox4->Checked()); }
void TForm1::CheckBox5Click(TObject*) { Memo2->SetVisible(CheckBox5->Checked()); }
void TForm1::CheckBox6Click(TObject*) { Memo3->SetVisible(CheckBox6->Checked()); }
void TForm1::CheckBox8Click(TObject*) { Button4->SetVisible(CheckBox8->Checked()); }
void TForm1::CheckBox9Click(TObject*) { Button8->SetVisible(CheckBox9->Checked()); }

void TForm1::ShowSoundControls(bool show)
{
    Button5->SetVisible(show);
    Edit2->SetVisible(show);
}

void TForm1::CheckBox7Click(TObject*)
{
    if (!CheckBox7->Checked()) {
        ShowSoundControls(false);
        return;
    }
    if (MouseMode == 1 && IsPageNumber(EditPage)) {
        Button5->Show();
        Edit2->SetText(Pages[EditPage].SoundFile);
        Edit2->Show();
    }
}

void TForm1::RadioGroup2Click(TObject*)
{
    MouseMode = RadioGroup2->ItemIndex() + 1;
    if (MouseMode != 1)
        ShowSoundControls(false);
    else if (CheckBox7->Checked())
        ShowSoundControls(true);
}

// ---------------------------------------------------------------------------------------------
// Contents dialogs and link choice: one handler per element serves every mouse mode.

// Jump mode: names the element whose link the link dialog edits and brings the dialog up; its
// activation takes that element's link from the page being edited.
static void ChooseLink(std::int32_t elementCode)
{
    LinkElement = elementCode;
    Form2->Show();
}

static void ChoosePicture(TForm1* form, int i)
{
    if (!IsPageNumber(EditPage) || !form->OpenPictureDialog1->Execute())
        return;
    const AnsiString chosen = form->OpenPictureDialog1->FileName;
    LoadElementPicture(form->PictureControl(i)->Picture(), chosen);
    // Kept even when the file did not load: the page names it, and each later showing tries
    // it again before it falls back.
    Pages[EditPage].Pictures[i].FileName = chosen;
}

// Bold alone and italic alone have codes of their own; every other set, bold italic and any
// set with underline or strike-out among them, is kept as regular.
static std::int32_t FontStyleCodeOf(TFontStyles style)
{
    if (style == fsBold)
        return 1;
    if (style == fsItalic)
        return 2;
    return 0;
}

static void ChooseFont(TForm1* form, int i)
{
    // The dialog is not primed with the text's font: it offers the one of its last OK.
    if (!IsPageNumber(EditPage) || !form->FontDialog1->Execute())
        return;
    TFont* font = form->TextControl(i)->Font();
    font->Assign(*form->FontDialog1->Font());
    Pages[EditPage].Texts[i].FontStyle = FontStyleCodeOf(font->Style());
}

static void ChooseCaption(TForm1* form, int j)
{
    if (!IsPageNumber(EditPage))
        return;
    TButton* button = form->ButtonControl(j);
    button->SetCaption(InputBox("ﾎﾞﾀﾝの文字", "ﾎﾞﾀﾝの文字を入れてください", button->Caption()));
    Pages[EditPage].Buttons[j].Caption = button->Caption();
}

// What a click or double-click on an element does: its contents work in the contents mode, the
// link choice in the jump mode, nothing in the position-and-size mode.
template <class ContentsWork>
static void ServeElement(ContentsWork contentsWork, std::int32_t elementCode)
{
    if (MouseMode == 1)
        contentsWork();
    else if (MouseMode == 3)
        ChooseLink(elementCode);
}

void TForm1::Image1Click(TObject*) { ServeElement([this] { ChoosePicture(this, 1); }, 1); }
void TForm1::Image2Click(TObject*) { ServeElement([this] { ChoosePicture(this, 2); }, 2); }
void TForm1::Image3Click(TObject*) { ServeElement([this] { ChoosePicture(this, 3); }, 3); }
void TForm1::Memo1DblClick(TObject*) { ServeElement([this] { ChooseFont(this, 1); }, 4); }
void TForm1::Memo2DblClick(TObject*) { ServeElement([this] { ChooseFont(this, 2); }, 5); }
void TForm1::Memo3DblClick(TObject*) { ServeElement([this] { ChooseFont(this, 3); }, 6); }
// A left click on a page button also ends each drag of it in the position-and-size mode, and
// asks nothing there.
void TForm1::Button4Click(TObject*) { ServeElement([this] { ChooseCaption(this, 1); }, 8); }
void TForm1::Button8Click(TObject*) { ServeElement([this] { ChooseCaption(this, 2); }, 9); }

// Shown only in the contents mode with the sound box on, so it makes no mode test. The file is
// taken as chosen, without a look at it; the player plays it.
void TForm1::Button5Click(TObject*)
{
    if (!IsPageNumber(EditPage) || !OpenDialog2->Execute())
        return;
    Pages[EditPage].SoundFile = OpenDialog2->FileName;
    Edit2->SetText(Pages[EditPage].SoundFile);
}

// ---------------------------------------------------------------------------------------------
// Dragging the elements and the tool panel; the paint program

namespace {
constexpr int CornerSquare = 10;       // a press this close to the top-left corner moves
constexpr int LeastElementSize = 16;   // a resize never makes an element smaller
} // namespace

// A left press in the position-and-size mode: a move from the top-left corner square, a
// resize from anywhere else. No starting point is kept: every step puts the element's corner
// (move) or its size (resize) at the pointer.
static void StartElementDrag(TMouseButton button, int x, int y)
{
    if (MouseMode != 2 || button != mbLeft)
        return;
    Dragging = true;
    if (x < CornerSquare && y < CornerSquare) {
        Screen->SetCursor(crDrag);
        DragKind = 1;
    } else {
        Screen->SetCursor(crSizeNWSE);
        DragKind = 2;
    }
}

// A pointer move over an element, in its own coordinates. No mode or button is tested: a drag
// that a release outside the position-and-size mode left running goes on with every move.
static void DragElementStep(TControl* element, int x, int y)
{
    if (Dragging && DragKind == 1) {
        element->SetTop(element->Top() + y);
        element->SetLeft(element->Left() + x);
    }
    if (Dragging && DragKind == 2) {
        element->SetHeight(std::max(y, LeastElementSize));
        element->SetWidth(std::max(x, LeastElementSize));
    }
}

// A right press in the contents mode opens picture i in the system paint program, then offers
// to reload what the user saved there.
static void EditInPaintProgram(TForm1* form, TMouseButton button, int i)
{
    if (MouseMode != 1 || button != mbRight || !IsPageNumber(EditPage))
        return;
    // The name goes unquoted, as stored; a bare name resolves against the current folder,
    // which the program is started in. Nothing waits for it, and a failed start says nothing.
    tk::StartCommandLine("pbrush.exe " + Pages[EditPage].Pictures[i].FileName, tk::GetCurrentDir());
    const char* const questions[] = {"絵１のなおしたところをよみこみます", "絵２のなおしたところをよみこみます",
                                     "絵３のなおしたところをよみこみます"};
    if (InformationBox(questions[i - 1]) != mrYes)
        return;
    datag1& picture = Pages[EditPage].Pictures[i];
    TImage* image = form->PictureControl(i);
    // A file that no longer loads is dropped from the page, which shows the fallback picture.
    if (!LoadElementPicture(image->Picture(), picture.FileName))
        picture.FileName.clear();
    image->Repaint();
}

// The page buttons share this press handler, so a right press on either works on picture 1.
void TForm1::Image1MouseDown(TObject*, TMouseButton Button, TShiftState, int X, int Y)
{
    StartElementDrag(Button, X, Y);
    EditInPaintProgram(this, Button, 1);
}

void TForm1::Image2MouseDown(TObject*, TMouseButton Button, TShiftState, int X, int Y)
{
    StartElementDrag(Button, X, Y);
    EditInPaintProgram(this, Button, 2);
}

void TForm1::Image3MouseDown(TObject*, TMouseButton Button, TShiftState, int X, int Y)
{
    StartElementDrag(Button, X, Y);
    EditInPaintProgram(this, Button, 3);
}

void TForm1::Memo1MouseDown(TObject*, TMouseButton Button, TShiftState, int X, int Y) { StartElementDrag(Button, X, Y); }

void TForm1::Image1MouseMove(TObject*, TShiftState, int X, int Y) { DragElementStep(Image1, X, Y); }
void TForm1::Image2MouseMove(TObject*, TShiftState, int X, int Y) { DragElementStep(Image2, X, Y); }
void TForm1::Image3MouseMove(TObject*, TShiftState, int X, int Y) { DragElementStep(Image3, X, Y); }
void TForm1::Memo1MouseMove(TObject*, TShiftState, int X, int Y) { DragElementStep(Memo1, X, Y); }
void TForm1::Memo2MouseMove(TObject*, TShiftState, int X, int Y) { DragElementStep(Memo2, X, Y); }
void TForm1::Memo3MouseMove(TObject*, TShiftState, int X, int Y) { DragElementStep(Memo3, X, Y); }
void TForm1::Button4MouseMove(TObject*, TShiftState, int X, int Y) { DragElementStep(Button4, X, Y); }
void TForm1::Button8MouseMove(TObject*, TShiftState, int X, int Y) { DragElementStep(Button8, X, Y); }

// The release of any button on any element, but only in the position-and-size mode: a drag
// that outlives a mode change goes on until a release there or on the tool panel.
void TForm1::Image1MouseUp(TObject*, TMouseButton, TShiftState, int, int)
{
    if (Dragging && MouseMode == 2) {
        Dragging = false;
        Screen->SetCursor(crDefault);
    }
}

// The tool panel drags with any button in every mode, sharing the elements' Dragging flag.
void TForm1::Panel1MouseDown(TObject*, TMouseButton, TShiftState, int, int)
{
    Dragging = true;
    Screen->SetCursor(crDrag);
}

void TForm1::Panel1MouseMove(TObject*, TShiftState, int X, int Y)
{
    if (!Dragging)
        return;
    Panel1->SetTop(Panel1->Top() + Y);
    Panel1->SetLeft(Panel1->Left() + X);
}

void TForm1::Panel1MouseUp(TObject*, TMouseButton, TShiftState, int, int)
{
    if (Dragging) {
        Dragging = false;
        Screen->SetCursor(crDefault);
    }
}
