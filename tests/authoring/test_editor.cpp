// The editing window: start-up, erase all, quit, help, storing and showing pages, the page
// selector, the view command, and the save and load commands.
#include "edunit1.h"
#include "edunit2.h"
#include "edunit3.h"
#include "editorprogram.h"
#include "filetesting.h"
#include "helpviewer.h"
#include "modal.h"
#include "uiprobe.h"
#include "workfile.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

using probe::ShowsFile;
using probe::ShowsResource;
using probe::WaitFor;
using testing_files::ReadBytes;
using testing_files::ScratchFolder;
using testing_files::WriteBytes;

// The authoring program as its program block starts it.
class Editor : public ::testing::Test {
protected:
    std::string Mascot() const { return program_.Mascot(); }

    // A page that differs from the defaults in every field the editing window shows.
    static datax EditedPage()
    {
        datax page = Pages[1];
        for (int i = 1; i <= 3; ++i) {
            page.Pictures[i] = datag1{"", i != 2, 10 * i, 50 + i, 300 + i, 60 + i, 0};
            page.Texts[i].Visible = i != 3;
            page.Texts[i].Top = 200 + i;
            page.Texts[i].Text = "line " + std::to_string(i) + "\r\nnext";
            page.Texts[i].FontColor = 0x0000FF;
            page.Texts[i].FontName = "IPAGothic";
            page.Texts[i].FontSize = 14;
            page.Texts[i].FontStyle = i - 1;
        }
        page.Buttons[1] = datab1{true, 0, "つぎ", 400, 30, 20, 70};
        page.Buttons[2] = datab1{false, 0, "まえ", 400, 30, 100, 70};
        page.SoundFile = "song.wav";
        return page;
    }

    EditorProgram program_;
    const ScratchFolder& folder_ = program_.Folder();
};

// ---------------------------------------------------------------------------------------------
// Start-up

TEST_F(Editor, StartsOnANewWorkWithEveryVariableAtItsStartValue)
{
    EXPECT_EQ(Form1->Caption(), "Pagora Ver 3.00");
    EXPECT_EQ(Form1->Width(), 792);
    EXPECT_EQ(Form1->Height(), 568);
    EXPECT_EQ(EditPage, 1);
    EXPECT_EQ(LinkValue, 0);
    EXPECT_EQ(LinkElement, 1);
    EXPECT_EQ(WorkWidth, 792);
    EXPECT_EQ(WorkHeight, 568);
    EXPECT_EQ(CurrentPage, 1);
    EXPECT_EQ(StartFolder, folder_.Path().string() + "\\");
    EXPECT_TRUE(WorkFileName.empty());
    EXPECT_EQ(MouseMode, 1);
    EXPECT_EQ(DragKind, 1);
    EXPECT_FALSE(Dragging);
    EXPECT_FALSE(SkipPageChange);
    EXPECT_TRUE(DialogFileName.empty());
    EXPECT_EQ(Form1->Edit1->Text(), "あたらしいさくひんです");
    EXPECT_EQ(Form1->SpinEdit1->Value(), 1);
    EXPECT_EQ(Form1->RadioGroup2->ItemIndex(), 0);
    for (TControl* element : {static_cast<TControl*>(Form1->Image1), static_cast<TControl*>(Form1->Image2),
                              static_cast<TControl*>(Form1->Image3), static_cast<TControl*>(Form1->Memo1),
                              static_cast<TControl*>(Form1->Memo2), static_cast<TControl*>(Form1->Memo3),
                              static_cast<TControl*>(Form1->Button4), static_cast<TControl*>(Form1->Button8)})
        EXPECT_FALSE(element->Visible());
    for (int k = 1; k <= 9; ++k)
        EXPECT_FALSE(Form1->ElementBox(k)->Checked());
    EXPECT_EQ(Application->MainForm(), Form1);
    EXPECT_FALSE(Form2->Visible());
    EXPECT_FALSE(Form3->Visible());
}

TEST_F(Editor, ShowsTheNineHintsAndNoOthers)
{
    std::vector<std::pair<TControl*, const char*>> hinted = {
        {Form1->Button1, "プログラムをおわります"},
        {Form1->Button3, "ディスクにしまいます"},
        {Form1->Button2, "ディスクからよみこみます"},
        {Form1->Button6, "あたらしいさくひんをつくります"},
        {Form1->Button7, "さくひんを見ます"},
        {Form1->Button9, "さくひんのパスを取ったものをディスクにしまいます"},
        {Form1->Button10, "さくひんをパスを変えたものをディスクにしまいます"},
        {Form1->SpeedButton1, "ヘルプを見ます"},
        {Form1->Edit2, "音のファイルのなまえです"},
    };
    for (auto [control, hint] : hinted) {
        EXPECT_TRUE(control->ShowHint());
        EXPECT_EQ(control->Hint(), hint);
    }
    for (TControl* control : {static_cast<TControl*>(Form1->Edit1), static_cast<TControl*>(Form1->SpinEdit1),
                              static_cast<TControl*>(Form1->Button5), static_cast<TControl*>(Form1->CheckBox1)})
        EXPECT_FALSE(control->ShowHint());
}

TEST_F(Editor, TheFirstStoreOfPageOneTakesTheLayoutNotTheRecordDefaults)
{
    StoreEditorPage();
    const datax& page = Pages[1];
    EXPECT_EQ(page.Pictures[2].Top, 112);
    EXPECT_EQ(page.Pictures[3].Top, 208);
    EXPECT_EQ(page.Texts[3].Width, 121);
    EXPECT_EQ(page.Buttons[1].Width, 65);
    EXPECT_EQ(page.Texts[1].FontName, "ＭＳ Ｐゴシック");
    EXPECT_EQ(page.Texts[1].FontSize, 9);
    EXPECT_EQ(page.Texts[1].FontColor, clWindowText);
    EXPECT_EQ(page.Texts[1].Text, "文１");
    EXPECT_FALSE(page.Pictures[1].Visible);
}

TEST_F(Editor, CheckingAPictureRightAfterStartUpShowsTheLayoutPicture)
{
    Form1->CheckBox1->SetChecked(true);
    EXPECT_TRUE(Form1->Image1->Visible());
    EXPECT_TRUE(ShowsResource(Form1->Image1->Picture(), "rabbit.bmp"));
}

// ---------------------------------------------------------------------------------------------
// Erase all

TEST_F(Editor, EraseAllAnsweredWithAnythingButOkChangesNothing)
{
    Pages[5].SoundFile = "keep.wav";
    Form1->Edit1->SetText("work.kse");
    WorkFileName = "work.kse";
    for (int answer : {mrCancel, mrCancel}) { // "キャンセル", and Esc or the close box
        ModalScript script;
        script.messageAnswers = {answer};
        Form1->Button6Click(nullptr);
        ASSERT_EQ(script.messages.size(), 1u);
        EXPECT_EQ(script.messages[0].kind, tk::MessageBoxRequest::Kind::Warning);
        EXPECT_EQ(script.messages[0].text, "ファイルをけしてしまっていいですか？");
    }
    EXPECT_EQ(Pages[5].SoundFile, "keep.wav");
    EXPECT_EQ(Form1->Edit1->Text(), "work.kse");
    EXPECT_EQ(WorkFileName, "work.kse");
}

TEST_F(Editor, EraseAllFromPage37ResetsEverythingWithoutStoringThePage)
{
    Form1->SpinEdit1->SetValue(37);
    ASSERT_EQ(EditPage, 37);
    Form1->CheckBox4->SetChecked(true);
    Form1->Memo1->SetText("an edit of page 37");
    Form1->Button4->SetBounds(300, 300, 90, 40);
    Pages[37].Texts[1].Text = "stored text";
    WorkFileName = "old.kse";
    DialogFileName = "old.kse";
    LinkElement = 5;
    Form1->RadioGroup2->SetItemIndex(2);
    Form1->SetWidth(900);

    ModalScript script;
    script.messageAnswers = {mrOk};
    Form1->Button6Click(nullptr);

    EXPECT_EQ(EditPage, 1);
    EXPECT_EQ(Form1->SpinEdit1->Value(), 1);
    EXPECT_FALSE(SkipPageChange);
    EXPECT_EQ(Pages[37].Texts[1].Text, "文１"); // reset, and the edit was never stored
    EXPECT_EQ(Pages[1], Pages[37]);
    EXPECT_EQ(Form1->Edit1->Text(), "");
    EXPECT_TRUE(WorkFileName.empty());
    EXPECT_TRUE(DialogFileName.empty());
    EXPECT_EQ(LinkElement, 1);
    EXPECT_EQ(MouseMode, 1);
    EXPECT_EQ(Form1->RadioGroup2->ItemIndex(), 0);
    EXPECT_EQ(Form1->Width(), 792);
    EXPECT_EQ(Form1->Height(), 568);
    EXPECT_FALSE(Form1->CheckBox4->Checked());
    EXPECT_FALSE(Form1->Memo1->Visible());
    EXPECT_EQ(Form1->Memo1->Text(), "文１");
    EXPECT_EQ(Form1->Memo1->Font()->Name(), "ＭＳ明朝");
    EXPECT_EQ(Form1->Memo1->Font()->Size(), 10);
    EXPECT_EQ(Form1->Image2->Top(), 114);
    EXPECT_EQ(Form1->Memo3->Width(), 129);
    // The two buttons keep their position and size.
    EXPECT_EQ(Form1->Button4->Left(), 300);
    EXPECT_EQ(Form1->Button4->Width(), 90);
    EXPECT_EQ(Form1->Button4->Caption(), "ﾎﾞﾀﾝ1");
    for (int i = 1; i <= 3; ++i)
        EXPECT_TRUE(ShowsFile(Form1->PictureControl(i)->Picture(), Mascot())) << "picture " << i;
}

TEST_F(Editor, AfterEraseAllFromPageOneTheNextPageChangeIsHandled)
{
    ModalScript script;
    script.messageAnswers = {mrOk};
    Form1->Button6Click(nullptr);
    EXPECT_FALSE(SkipPageChange);
    Form1->SpinEdit1->SetValue(4);
    EXPECT_EQ(EditPage, 4);
}

TEST_F(Editor, EraseAllWithoutMascotShowsTheLayoutPictureAndFinishes)
{
    std::filesystem::remove(Mascot());
    WorkFileName = "old.kse";
    ModalScript script;
    script.messageAnswers = {mrOk};
    Form1->Button6Click(nullptr);
    EXPECT_TRUE(script.MessagesOf(tk::MessageBoxRequest::Kind::Error).empty());
    EXPECT_TRUE(ShowsResource(Form1->Image3->Picture(), "rabbit.bmp"));
    EXPECT_TRUE(WorkFileName.empty());
}

// ---------------------------------------------------------------------------------------------
// Quit and help

TEST_F(Editor, QuitClosesOnlyOnOk)
{
    Form1->Show();
    ASSERT_TRUE(WaitFor([] { return Form1->Visible(); }));
    {
        ModalScript script;
        script.messageAnswers = {mrCancel};
        Form1->Button1Click(nullptr);
        EXPECT_EQ(script.messages.at(0).text, "プログラムをおわります。ファイルはほぞんしてありますか？");
    }
    EXPECT_TRUE(Form1->Visible());
    // The close box asks the same question; only OK ends the program.
    {
        ModalScript script;
        script.messageAnswers = {mrCancel};
        probe::PressCloseBox(Form1);
        ASSERT_EQ(script.messages.size(), 1u);
        EXPECT_EQ(script.messages[0].kind, tk::MessageBoxRequest::Kind::Warning);
        EXPECT_EQ(script.messages[0].text, "プログラムをおわります。ファイルはほぞんしてありますか？");
    }
    EXPECT_TRUE(Form1->Visible());
    {
        ModalScript script;
        script.messageAnswers = {mrOk};
        probe::PressCloseBox(Form1);
        EXPECT_FALSE(Form1->Visible());
        EXPECT_EQ(script.messages.size(), 1u);
    }
    Form1->Show();
    ASSERT_TRUE(WaitFor([] { return Form1->Visible(); }));
    ModalScript script;
    script.messageAnswers = {mrOk};
    Form1->Button1Click(nullptr);
    EXPECT_FALSE(Form1->Visible());
    EXPECT_EQ(script.messages.size(), 1u);
}

TEST_F(Editor, HelpLooksInTheStartFolderAfterTheCurrentFolderChanged)
{
    WriteBytes(folder_ / "pagoraed.hlp", "<html><body>help</body></html>");
    ScratchFolder elsewhere;
    std::filesystem::current_path(elsewhere.Path());
    ModalScript script;
    Form1->SpeedButton1Click(nullptr);
    EXPECT_EQ(Application->HelpFile(), StartFolder + "pagoraed.hlp");
    EXPECT_EQ(tk::HelpViewerShownFile(), StartFolder + "pagoraed.hlp");
    EXPECT_TRUE(script.messages.empty());
}

// ---------------------------------------------------------------------------------------------
// Storing and showing pages, the page selector and the view command

TEST_F(Editor, ShowingAndStoringAPageWithoutChangeKeepsItsRecord)
{
    Pages[3] = EditedPage();
    Pages[3].Pictures[1].FileName = "missing.bmp";
    Pages[3].Pictures[2].Link = 7;
    Pages[3].Texts[2].FontStyle = 5;
    const datax before = Pages[3];
    Form1->SpinEdit1->SetValue(3);
    Form1->SpinEdit1->SetValue(4);
    EXPECT_EQ(Pages[3], before);
    EXPECT_EQ(Form1->Memo1->Text(), "文１");
}

TEST_F(Editor, ShowEditorPageAppliesTheRecordToTheControls)
{
    Pages[2] = EditedPage();
    Form1->SpinEdit1->SetValue(2);
    EXPECT_TRUE(Form1->CheckBox1->Checked());
    EXPECT_FALSE(Form1->CheckBox2->Checked());
    EXPECT_FALSE(Form1->Image2->Visible());
    EXPECT_EQ(Form1->Image3->Top(), 30);
    EXPECT_EQ(Form1->Image3->Left(), 303);
    EXPECT_EQ(Form1->Memo2->Text(), "line 2\r\nnext");
    EXPECT_EQ(Form1->Memo2->Font()->Style(), fsBold);
    EXPECT_EQ(Form1->Memo3->Font()->Style(), fsItalic);
    EXPECT_EQ(Form1->Memo1->Font()->Color(), 0x0000FF);
    EXPECT_EQ(Form1->Memo1->Font()->Size(), 14);
    EXPECT_EQ(Form1->Button4->Caption(), "つぎ");
    EXPECT_TRUE(Form1->Button4->Visible());
    EXPECT_FALSE(Form1->Button8->Visible());
    EXPECT_TRUE(Form1->CheckBox7->Checked());
    EXPECT_EQ(Form1->Edit2->Text(), "song.wav");
    EXPECT_TRUE(Form1->Edit2->Visible());
    EXPECT_TRUE(Form1->Button5->Visible());
    // Pictures without a file show the mascot, hidden ones too.
    EXPECT_TRUE(ShowsFile(Form1->Image2->Picture(), Mascot()));
}

TEST_F(Editor, AStyleCodeOtherThanZeroOneTwoKeepsTheStyleOfThePageBefore)
{
    Pages[2] = EditedPage(); // text 3 italic
    Pages[3] = EditedPage();
    Pages[3].Texts[3].FontStyle = 3;
    Pages[3].Texts[1].FontStyle = -1;
    Form1->SpinEdit1->SetValue(2);
    Form1->SpinEdit1->SetValue(3);
    EXPECT_EQ(Form1->Memo3->Font()->Style(), fsItalic);
    EXPECT_EQ(Form1->Memo1->Font()->Style(), 0u);
    EXPECT_EQ(Pages[3].Texts[3].FontStyle, 3);
}

TEST_F(Editor, UncheckingTheSoundEmptiesItOnlyAtTheNextStore)
{
    Pages[2] = EditedPage();
    Form1->SpinEdit1->SetValue(2);
    Form1->CheckBox7->SetChecked(false);
    EXPECT_FALSE(Form1->Edit2->Visible());
    EXPECT_EQ(Pages[2].SoundFile, "song.wav");
    Form1->CheckBox7->SetChecked(true); // back before a store: the sound is kept
    EXPECT_EQ(Form1->Edit2->Text(), "song.wav");
    Form1->CheckBox7->SetChecked(false);
    Form1->SpinEdit1->SetValue(3);
    EXPECT_TRUE(Pages[2].SoundFile.empty());
}

TEST_F(Editor, TypingANumberVisitsEachPageOnTheWayAndStoresEachPageItLeaves)
{
    std::vector<int> shown;
    Form1->CheckBox4->SetChecked(true);
    Form1->Memo1->SetText("written on page 1");
    for (const char* text : {"15", "150"}) {
        Form1->SpinEdit1->SetText(text);
        shown.push_back(EditPage);
        Form1->Memo1->SetText(std::string("written on page ") + text);
    }
    EXPECT_EQ(shown, (std::vector<int>{15, 150}));
    EXPECT_EQ(Pages[1].Texts[1].Text, "written on page 1");
    EXPECT_EQ(Pages[15].Texts[1].Text, "written on page 15");
    EXPECT_EQ(Pages[150].Texts[1].Text, "文１"); // not left yet
}

TEST_F(Editor, ANumberOutsideTheTableIsIgnoredUntilItIsBackInRange)
{
    Form1->SpinEdit1->SetValue(30);
    const datax before = Pages[30];
    Form1->SpinEdit1->SetText("300");
    EXPECT_EQ(EditPage, 30);
    Form1->SpinEdit1->SetText("0");
    EXPECT_EQ(EditPage, 30);
    Form1->SpinEdit1->SetText("");
    EXPECT_EQ(EditPage, 1); // an empty field reads as page 1
    EXPECT_EQ(Pages[30], before); // stored on the way out, unchanged
}

TEST_F(Editor, ViewStartsThePlayerAtPageOneAtTheEditingWindowsSize)
{
    Form1->Show();
    Form1->SpinEdit1->SetValue(6);
    Form1->CheckBox5->SetChecked(true);
    Form1->Memo2->SetText("seen in the player");
    Form1->SetWidth(700);
    CurrentPage = 9;
    Form1->Button7Click(nullptr);
    EXPECT_EQ(CurrentPage, 1);
    EXPECT_EQ(WorkWidth, 700);
    EXPECT_EQ(WorkHeight, 568);
    EXPECT_EQ(EditPage, 6);
    EXPECT_EQ(Pages[6].Texts[2].Text, "seen in the player");
    EXPECT_TRUE(Form3->Visible());
    ASSERT_TRUE(WaitFor([] { return Form3->Width() == 700 && !Form3->Timer1->Enabled(); }));
}

// ---------------------------------------------------------------------------------------------
// Save and load

TEST_F(Editor, SaveStoresThePageFirstAndCancelTouchesNoFile)
{
    Form1->CheckBox1->SetChecked(true);
    ModalScript script;
    script.fileAnswers = {std::nullopt};
    Form1->Button3Click(nullptr);
    EXPECT_TRUE(Pages[1].Pictures[1].Visible);
    EXPECT_TRUE(DialogFileName.empty());
    EXPECT_TRUE(WorkFileName.empty());
    ASSERT_EQ(script.fileDialogs.size(), 1u);
    EXPECT_EQ(script.fileDialogs[0].title, "さくひんをほぞんします");
    EXPECT_EQ(script.fileDialogs[0].filter, "kse(*.kse)|*.kse|all(*.*)|*.*");
    EXPECT_EQ(script.fileDialogs[0].filterIndex, 1);
}

TEST_F(Editor, SaveAddsTheExtensionAndNamesTheWorkAndLoadBringsItBack)
{
    Form1->SpinEdit1->SetValue(2);
    Form1->CheckBox4->SetChecked(true);
    Form1->Memo1->SetText("one\r\ntwo");
    Form1->SpinEdit1->SetValue(1);
    {
        ModalScript script;
        script.fileAnswers = {AnsiString("story")};
        Form1->Button3Click(nullptr);
    }
    const std::string saved = folder_ / "story.kse";
    EXPECT_EQ(DialogFileName, saved);
    EXPECT_EQ(WorkFileName, saved);
    EXPECT_EQ(Form1->Edit1->Text(), saved);
    const std::string bytes = ReadBytes(saved);
    EXPECT_EQ(bytes.substr(0, 10), "792\r\n568\r\n");

    // A fresh start, on page 7, then load.
    ModalScript erase;
    erase.messageAnswers = {mrOk};
    Form1->Button6Click(nullptr);
    Form1->SpinEdit1->SetValue(7);
    Form1->RadioGroup2->SetItemIndex(1);
    ModalScript script;
    script.fileAnswers = {AnsiString(saved)};
    Form1->Button2Click(nullptr);
    EXPECT_EQ(WorkFileName, saved);
    EXPECT_EQ(EditPage, 1);
    EXPECT_EQ(Form1->SpinEdit1->Value(), 1);
    EXPECT_EQ(MouseMode, 1);
    EXPECT_EQ(Form1->RadioGroup2->ItemIndex(), 0);
    EXPECT_EQ(Pages[2].Texts[1].Text, "one\r\ntwo");
    EXPECT_TRUE(Pages[2].Texts[1].Visible);
}

TEST_F(Editor, CancelInTheOpenDialogChangesNothing)
{
    Form1->SpinEdit1->SetValue(5);
    Pages[5].SoundFile = "mine.wav";
    ModalScript script;
    script.fileAnswers = {std::nullopt};
    Form1->Button2Click(nullptr);
    ASSERT_EQ(script.fileDialogs.size(), 1u);
    EXPECT_EQ(script.fileDialogs[0].title, "さくひんをよみこみます");
    EXPECT_EQ(EditPage, 5);
    EXPECT_TRUE(DialogFileName.empty());
    EXPECT_EQ(Pages[5].SoundFile, "mine.wav");
    EXPECT_EQ(Form1->Edit1->Text(), "あたらしいさくひんです");
}

TEST_F(Editor, LoadingWhileOnPageOneDoesNotRunTheSelector)
{
    WriteWorkFile(folder_ / "w.kse", NameAsHeld, 700, 500);
    Pages[1].Texts[1].Text = "in memory only";
    ModalScript script;
    script.fileAnswers = {AnsiString(folder_ / "w.kse")};
    Form1->Button2Click(nullptr);
    EXPECT_EQ(Form1->Width(), 700);
    EXPECT_EQ(Form1->Height(), 500);
    // Showing page 1 put the loaded text into the control; no store followed.
    EXPECT_EQ(Form1->Memo1->Text(), Pages[1].Texts[1].Text);
}

TEST_F(Editor, AFailedLoadShowsItsMessageAndChangesOnlyTheDialogName)
{
    Pages[4].SoundFile = "mine.wav";
    WorkFileName = "mine.kse";
    ModalScript script;
    script.fileAnswers = {AnsiString(folder_ / "nothere.kse")};
    tk::Dispatch([] { Form1->Button2Click(nullptr); });
    auto errors = script.MessagesOf(tk::MessageBoxRequest::Kind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, "ファイルが見つかりません.");
    EXPECT_EQ(errors[0].caption, "Pagora ");
    EXPECT_EQ(DialogFileName, folder_ / "nothere.kse");
    EXPECT_EQ(WorkFileName, "mine.kse");
    EXPECT_EQ(Pages[4].SoundFile, "mine.wav");
}

TEST_F(Editor, ALineBreakInACaptionIsRefusedAndTheOldFileStaysAsItWas)
{
    const std::string saved = folder_ / "story.kse";
    WriteBytes(saved, "the old work");
    Form1->SpinEdit1->SetValue(2);
    Form1->Button8->SetCaption("つぎ\nへ"); // as a file could bring it in
    ModalScript script;
    script.messageAnswers = {mrOk, mrOk, mrOk, mrOk}; // the refusal, the question, the overwrite, the refusal
    script.fileAnswers = {AnsiString(saved)};
    Form1->Button3Click(nullptr); // refused before its dialog
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].text, "2ページの ボタン２ の 文字に かいぎょうが あるので ほぞんできません");
    EXPECT_TRUE(script.fileDialogs.empty());
    Form1->Button9Click(nullptr); // refused after its dialog
    ASSERT_EQ(script.messages.size(), 4u);
    EXPECT_EQ(script.messages[3].text, script.messages[0].text);
    EXPECT_EQ(ReadBytes(saved), "the old work");
    EXPECT_TRUE(WorkFileName.empty());
}

TEST_F(Editor, AWorkOfNoSizeStillShowsItsWindowsAtTheLeastSize)
{
    WriteWorkFile(folder_ / "w.kse", NameAsHeld, 700, 500);
    std::string bytes = ReadBytes(folder_ / "w.kse");
    WriteBytes(folder_ / "w.kse", "0\r\n-5" + bytes.substr(bytes.find("\r\n", 5)));
    Form1->Show();
    ASSERT_TRUE(WaitFor([] { return Form1->Visible(); }));
    ModalScript script;
    script.fileAnswers = {AnsiString(folder_ / "w.kse")};
    Form1->Button2Click(nullptr);
    EXPECT_EQ(WorkWidth, 0);
    EXPECT_EQ(WorkHeight, -5);
    EXPECT_TRUE(Form1->Visible());
    EXPECT_EQ(Form1->Width(), MinFormWidth);
    EXPECT_EQ(Form1->Height(), MinFormHeight);
    // The player takes the work's size at its next activation, and keeps the least size too.
    CurrentPage = 1;
    Form3->Show();
    EXPECT_TRUE(WaitFor([] { return Form3->Width() == MinFormWidth && Form3->Height() == MinFormHeight; }));
    EXPECT_TRUE(Form3->Visible());
}

TEST_F(Editor, ATextWithALoneStarLineIsRefusedBeforeAnyFileIsChosen)
{
    Form1->SpinEdit1->SetValue(3);
    Form1->Memo2->SetText("a\r\n*\r\nb");
    ModalScript script;
    script.messageAnswers = {mrOk};
    Form1->Button3Click(nullptr);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].kind, tk::MessageBoxRequest::Kind::Warning);
    EXPECT_NE(script.messages[0].text.find("3"), std::string::npos);
    EXPECT_TRUE(script.fileDialogs.empty());
    EXPECT_TRUE(folder_.Entries().size() == 1); // only mascot.bmp
}

} // namespace
