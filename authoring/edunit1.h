// The editing window: its layout, start-up, page store and show, and the tool panel's commands.
#pragma once

#include "dialogs.h"
#include "edunit0.h"
#include "forms.h"
#include "pagelayout.h"

class TForm1 : public TForm {
public:
    explicit TForm1(TComponent* owner);

    // The page's elements, directly on the window.
    TImage* Image1;
    TImage* Image2;
    TImage* Image3;
    TMemo* Memo1;
    TMemo* Memo2;
    TMemo* Memo3;
    TButton* Button4;
    TButton* Button8;

    // The tool panel and its controls, in tab order.
    TPanel* Panel1;
    TEdit* Edit1;
    TSpinEdit* SpinEdit1;
    TButton* Button1;
    TGroupBox* GroupBox1;
    TCheckBox* CheckBox1;
    TCheckBox* CheckBox2;
    TCheckBox* CheckBox3;
    TCheckBox* CheckBox4;
    TCheckBox* CheckBox5;
    TCheckBox* CheckBox6;
    TCheckBox* CheckBox7;
    TCheckBox* CheckBox8;
    TCheckBox* CheckBox9;
    TButton* Button2;
    TButton* Button3;
    TButton* Button5;
    TButton* Button6;
    TButton* Button7;
    TRadioGroup* RadioGroup2;
    TEdit* Edit2;
    TButton* Button9;
    TButton* Button10;
    TLabel* Label1;
    TSpeedButton* SpeedButton1;
    TLabel* Label2;

    TOpenDialog* OpenDialog1;
    TSaveDialog* SaveDialog1;
    TOpenPictureDialog* OpenPictureDialog1;
    TFontDialog* FontDialog1;
    TOpenDialog* OpenDialog2;

    // Element i's control (pictures and texts 1 to 3, buttons 1 and 2).
    TImage* PictureControl(int i) const;
    TMemo* TextControl(int i) const;
    TButton* ButtonControl(int j) const;
    TCheckBox* ElementBox(int k) const;
    // The eight element controls, as a page is shown on them.
    ElementControls Elements() const;

    void FormCreate(TObject* Sender);
    void FormCloseQuery(TObject* Sender, bool& CanClose);
    void Button1Click(TObject* Sender);
    void Button2Click(TObject* Sender);
    void Button3Click(TObject* Sender);
    void Button5Click(TObject* Sender);
    void Button6Click(TObject* Sender);
    void Button7Click(TObject* Sender);
    void Button9Click(TObject* Sender);
    void Button10Click(TObject* Sender);
    void SpeedButton1Click(TObject* Sender);
    void SpinEdit1Change(TObject* Sender);
    void RadioGroup2Click(TObject* Sender);
    void CheckBox1Click(TObject* Sender);
    void CheckBox2Click(TObject* Sender);
    void CheckBox3Click(TObject* Sender);
    void CheckBox4Click(TObject* Sender);
    void CheckBox5Click(TObject* Sender);
    void CheckBox6Click(TObject* Sender);
    void CheckBox7Click(TObject* Sender);
    void CheckBox8Click(TObject* Sender);
    void CheckBox9Click(TObject* Sender);
    void Image1Click(TObject* Sender);
    void Image2Click(TObject* Sender);
    void Image3Click(TObject* Sender);
    void Memo1DblClick(TObject* Sender);
    void Memo2DblClick(TObject* Sender);
    void Memo3DblClick(TObject* Sender);
    void Button4Click(TObject* Sender);
    void Button8Click(TObject* Sender);
    void Image1MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void Image2MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void Image3MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void Memo1MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void Image1MouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void Image2MouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void Image3MouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void Memo1MouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void Memo2MouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void Memo3MouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void Button4MouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void Button8MouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void Image1MouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void Panel1MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void Panel1MouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void Panel1MouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);

private:
    void ShowSoundControls(bool show);
};

extern TForm1* Form1;

// Variables of the editing window's unit.
extern std::int32_t MouseMode;   // 1 contents, 2 position and size, 3 jump
extern std::int32_t DragKind;    // 1 move, 2 resize
extern bool Dragging;
extern bool SkipPageChange;      // the next change of the page selector is to be ignored
extern AnsiString DialogFileName; // the file chosen in the last work-file dialog

// Copies the editing window's controls into Pages[EditPage].
void StoreEditorPage();
// Puts Pages[n] into the editing window's controls.
void ShowEditorPage(std::int32_t n);
