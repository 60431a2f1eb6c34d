// The viewer window: start-up, opening a work, viewing it, and the two viewing settings.
//
// The windows are created once, in the program's order, and live for the whole test program
// as they live for the whole run of the viewer; each test starts from the start-up state.
#include "filetesting.h"
#include "keyprobe.h"
#include "modal.h"
#include "shunit1.h"
#include "shunit2.h"
#include "uiprobe.h"
#include "workfile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <utility>

namespace {

using probe::WaitFor;

// The tests start in the folder of the built-in pictures, as the viewer is started (the test
// entry point names it).
std::string ResourceFolderUtf8() { return std::getenv("PAGORA_RESOURCES"); }
AnsiString ResourceFolder() { return tk::FromUtf8(ResourceFolderUtf8()); }

void Press(TControl* button) { probe::Click(button); }

// Whether a text shown or read begins with the text that was saved (how a line break at the
// end comes back is the reader's business).
bool Begins(const AnsiString& text, const AnsiString& saved) { return text.starts_with(saved); }

// Writes a work file with the shared writer: the defaults changed by edit, at the given size.
// The page table and the work's size are left as they were.
template <class Edit>
void WriteWork(const std::string& path, Edit edit, int width = 640, int height = 480)
{
    const PageTable savedPages = Pages;
    const std::int32_t savedWidth = WorkWidth;
    const std::int32_t savedHeight = WorkHeight;
    ResetAllPages();
    edit(Pages);
    WriteWorkFile(tk::FromUtf8(path), NameAsHeld, width, height);
    Pages = savedPages;
    WorkWidth = savedWidth;
    WorkHeight = savedHeight;
}

// A work of two pages to move between: page 1's button leads to page 3, page 3's back to 1.
void StoryPages(PageTable& pages)
{
    pages[1].Texts[1].Visible = true;
    pages[1].Texts[1].Text = "いちページめ";
    pages[1].Buttons[1].Visible = true;
    pages[1].Buttons[1].Link = 3;
    pages[1].Buttons[1].Caption = "つぎへ";
    pages[3].Texts[1].Visible = true;
    pages[3].Texts[1].Text = "さんページめ";
    pages[3].Buttons[2].Visible = true;
    pages[3].Buttons[2].Link = 1;
}

class ViewerEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        tk::SetCurrentDir(ResourceFolder());
        Application->SetTitle("Pagora Viewer");
        Application->CreateForm(Form1);
        Application->CreateForm(DataModule1);
        Application->CreateForm(Form3);
        Form1->Show();
        WaitFor([] { return Form1->Active(); }, 2000);
    }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new ViewerEnvironment);

struct ViewerTest : ::testing::Test {
    testing_files::ScratchFolder folder;

    void SetUp() override
    {
        // The first test of the program sees the state the start-up left.
        static bool first = true;
        if (std::exchange(first, false))
            return;
        if (Form3->Visible())
            Form3->Close();
        Form1->Show();
        WaitFor([] { return Form1->Active(); }, 2000);
        Form1->RadioGroup1->SetItemIndex(0);
        Form1->SpinEdit1->SetValue(1);
        tk::SetCurrentDir(ResourceFolder());
        Form1->FormCreate(Form1);
    }

    // Opens a work through the open button, with the dialog answered by path.
    void Open(ModalScript& script, const std::string& path)
    {
        script.fileAnswers.push_back(tk::FromUtf8(path));
        Press(Form1->SpeedButton2);
    }

    // Waits until the player has laid its page out after an activation.
    static bool PlayerLaidOut()
    {
        return WaitFor([] { return Form3->Visible() && Form3->Active() && !Form3->Timer1->Enabled(); });
    }
};

} // namespace

TEST_F(ViewerTest, StartsWithNoWorkAtItsFirstSettings)
{
    EXPECT_EQ(Form1->Edit1->Text(), "なにもよみこまれていません");
    EXPECT_EQ(Form1->RadioGroup1->ItemIndex(), 0);
    EXPECT_EQ(Form1->SpinEdit1->Text(), "1");
    EXPECT_EQ(ViewMode, 1);
    EXPECT_EQ(AutoSeconds, 1);
    EXPECT_EQ(WorkWidth, 792);
    EXPECT_EQ(WorkHeight, 568);
    EXPECT_EQ(CurrentPage, 1);
    EXPECT_EQ(WorkFileName, "");
    EXPECT_EQ(StartFolder, ResourceFolder() + "\\");
    PageTable defaults;
    ResetAllPages(defaults);
    EXPECT_TRUE(Pages == defaults);
    // Only the viewer window is shown; the player waits for the view command.
    EXPECT_TRUE(Form1->Visible());
    EXPECT_FALSE(Form3->Visible());
    EXPECT_EQ(Form1->Width(), 373);
    EXPECT_EQ(Form1->Height(), 376);
}

// ---- open ------------------------------------------------------------------------------------

TEST_F(ViewerTest, OpenCancelledChangesNothing)
{
    ModalScript script;
    script.fileAnswers.push_back(std::nullopt);
    Press(Form1->SpeedButton2);

    ASSERT_EQ(script.fileDialogs.size(), 1u);
    const tk::FileDialogRequest& request = script.fileDialogs[0];
    EXPECT_EQ(request.kind, TOpenDialog::Kind::Open);
    EXPECT_EQ(request.title, "");
    EXPECT_EQ(request.filter, "kse(*.kse)|*.kse|all(*.*)|*.*");
    EXPECT_EQ(request.defaultExt, "");
    EXPECT_EQ(request.options, TOpenOptions(ofHideReadOnly | ofEnableSizing));
    EXPECT_EQ(Form1->Edit1->Text(), "なにもよみこまれていません");
    EXPECT_EQ(WorkFileName, "");
    PageTable defaults;
    ResetAllPages(defaults);
    EXPECT_TRUE(Pages == defaults);
}

TEST_F(ViewerTest, OpenReadsTheWorkAndShowsItsPath)
{
    const std::string path = folder / "story.kse";
    WriteWork(path, StoryPages);
    Form1->RadioGroup1->SetItemIndex(2);
    Form1->SpinEdit1->SetValue(7);
    CurrentPage = 5;
    ModalScript script;
    Open(script, path);

    EXPECT_TRUE(script.messages.empty());
    EXPECT_EQ(WorkFileName, tk::FromUtf8(path));
    EXPECT_EQ(Form1->Edit1->Text(), tk::FromUtf8(path));
    EXPECT_EQ(WorkWidth, 640);
    EXPECT_EQ(WorkHeight, 480);
    EXPECT_TRUE(Begins(Pages[1].Texts[1].Text, "いちページめ"));
    EXPECT_EQ(Pages[1].Buttons[1].Link, 3);
    EXPECT_TRUE(Pages[3].Buttons[2].Visible);
    EXPECT_FALSE(Pages[2].Texts[1].Visible);
    // Nothing but the work and its name changes.
    EXPECT_EQ(CurrentPage, 5);
    EXPECT_EQ(ViewMode, 3);
    EXPECT_EQ(AutoSeconds, 7);
    EXPECT_EQ(Form1->Width(), 373);
    EXPECT_EQ(Form1->Height(), 376);

    // The same file again gives the same table.
    const PageTable once = Pages;
    Open(script, path);
    EXPECT_TRUE(Pages == once);
}

// A failed open keeps the loaded work and its name together: the status field and the player's
// caption never name a file whose work is not the one in memory.
TEST_F(ViewerTest, OpeningAMissingFileReportsItAndKeepsTheLoadedWork)
{
    const std::string good = folder / "good.kse";
    WriteWork(good, StoryPages);
    ModalScript script;
    Open(script, good);
    const PageTable loaded = Pages;

    Open(script, folder / "missing.kse");

    const auto errors = script.MessagesOf(tk::MessageBoxRequest::Kind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].caption, "Pagora Viewer");
    EXPECT_EQ(errors[0].text, "ファイルが見つかりません.");
    EXPECT_TRUE(Pages == loaded);
    EXPECT_EQ(WorkWidth, 640);
    EXPECT_EQ(WorkHeight, 480);
    EXPECT_EQ(WorkFileName, tk::FromUtf8(good));
    EXPECT_EQ(Form1->Edit1->Text(), tk::FromUtf8(good));

    Press(Form1->SpeedButton3);
    ASSERT_TRUE(PlayerLaidOut());
    EXPECT_EQ(Form3->Caption(), "Pagora " + tk::FromUtf8(good));
}

TEST_F(ViewerTest, AWorkWithABadNumberLeavesEverythingAsItWas)
{
    // The bad line lies deep in the file, after whole pages that would read well.
    const std::string bad = folder / "bad.kse";
    WriteWork(bad, StoryPages);
    std::string bytes = testing_files::ReadBytes(bad);
    const std::string width = "\r\n8\r\n81\r\n";
    const std::size_t at = bytes.find(width, bytes.size() / 2);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, width.size(), "\r\n8\r\n81x\r\n");
    testing_files::WriteBytes(bad, bytes);

    ModalScript script;
    Open(script, bad);

    const auto errors = script.MessagesOf(tk::MessageBoxRequest::Kind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, "入力値が数値ではありません.");
    PageTable defaults;
    ResetAllPages(defaults);
    EXPECT_TRUE(Pages == defaults);
    EXPECT_EQ(WorkWidth, 792);
    EXPECT_EQ(WorkHeight, 568);
    EXPECT_EQ(WorkFileName, "");
    EXPECT_EQ(Form1->Edit1->Text(), "なにもよみこまれていません");
}

// ---- view ------------------------------------------------------------------------------------

TEST_F(ViewerTest, ViewWithNothingOpenedShowsAnEmptyFirstPage)
{
    ModalScript script;
    Press(Form1->SpeedButton3);
    ASSERT_TRUE(PlayerLaidOut());

    EXPECT_EQ(CurrentPage, 1);
    EXPECT_EQ(Form3->Caption(), "Pagora ");
    EXPECT_EQ(Form3->Width(), 792);
    EXPECT_EQ(Form3->Height(), 568);
    for (TControl* element : std::initializer_list<TControl*>{Form3->Image1, Form3->Image2, Form3->Image3, Form3->Memo1,
                                                              Form3->Memo2, Form3->Memo3, Form3->Button4, Form3->Button8})
        EXPECT_FALSE(element->Visible());
    EXPECT_TRUE(Form3->Button1->Visible());
    // The hidden pictures hold the fallback picture of the start folder.
    for (TImage* image : {Form3->Image1, Form3->Image2, Form3->Image3})
        EXPECT_TRUE(probe::ShowsFile(image->Picture(), ResourceFolderUtf8() + "/mascot.bmp"));
    EXPECT_TRUE(script.messages.empty());
}

TEST_F(ViewerTest, ViewWhileThePlayerIsShownGoesBackToThePageOne)
{
    const std::string path = folder / "story.kse";
    WriteWork(path, StoryPages);
    ModalScript script;
    Open(script, path);
    Press(Form1->SpeedButton3);
    ASSERT_TRUE(PlayerLaidOut());
    EXPECT_EQ(Form3->Width(), 640);
    EXPECT_EQ(Form3->Caption(), "Pagora " + tk::FromUtf8(path));
    EXPECT_TRUE(Begins(Form3->Memo1->Text(), "いちページめ"));

    // The page's button leads to page 3.
    probe::Click(Form3->Button4);
    ASSERT_EQ(CurrentPage, 3);
    EXPECT_TRUE(Begins(Form3->Memo1->Text(), "さんページめ"));

    // Back in the viewer window, view again: page 1 comes after the player's activation delay.
    Form1->Show();
    ASSERT_TRUE(WaitFor([] { return Form1->Active(); }));
    Press(Form1->SpeedButton3);
    EXPECT_EQ(CurrentPage, 1);
    EXPECT_TRUE(Begins(Form3->Memo1->Text(), "さんページめ"));
    ASSERT_TRUE(PlayerLaidOut());
    EXPECT_TRUE(Begins(Form3->Memo1->Text(), "いちページめ"));
    EXPECT_TRUE(Form3->Button4->Visible());
    EXPECT_FALSE(Form3->Button8->Visible());
    EXPECT_TRUE(script.messages.empty());
}

TEST_F(ViewerTest, ClosingThePlayerStopsItsTimers)
{
    ModalScript script;
    Press(Form1->SpeedButton3);
    ASSERT_TRUE(WaitFor([] { return Form3->Visible() && Form3->Timer1->Enabled(); }));
    // Closed within the activation delay: no layout may run on the hidden window.
    Form3->Close();
    EXPECT_FALSE(Form3->Visible());
    EXPECT_FALSE(Form3->Timer1->Enabled());
    EXPECT_FALSE(Form3->Timer2->Enabled());
    EXPECT_FALSE(Form3->MediaPlayer1->Enabled());
    EXPECT_TRUE(script.messages.empty());
}

// ---- quit ------------------------------------------------------------------------------------

TEST_F(ViewerTest, QuitClosesTheWindowWithoutAQuestion)
{
    ModalScript script; // any question would fail the test
    Press(Form1->SpeedButton1);
    EXPECT_FALSE(Form1->Visible());
    EXPECT_TRUE(script.messages.empty());

    // Qt's offscreen platform keeps a hidden window as its focus window, so showing it again
    // would not activate it; passing through the player lets the next test find it active.
    Form3->Show();
    ASSERT_TRUE(WaitFor([] { return Form3->Active(); }));
    Form3->Close();
}

// ---- viewing mode and seconds ----------------------------------------------------------------

TEST_F(ViewerTest, TheChosenModeIsTheViewMode)
{
    keyprobe::ChooseItem(Form1->RadioGroup1, 2);
    EXPECT_EQ(ViewMode, 3);
    keyprobe::ChooseItem(Form1->RadioGroup1, 1);
    EXPECT_EQ(ViewMode, 2);
    keyprobe::ChooseItem(Form1->RadioGroup1, 0);
    EXPECT_EQ(ViewMode, 1);
}

TEST_F(ViewerTest, EveryKeystrokeInTheSecondsReachesAutoSeconds)
{
    TSpinEdit* spin = Form1->SpinEdit1;
    spin->SetFocus();
    ASSERT_TRUE(WaitFor([&] { return spin->Focused(); }));
    keyprobe::SelectAll(spin);

    keyprobe::Type(spin, "4");
    EXPECT_EQ(AutoSeconds, 4);
    keyprobe::Type(spin, "5");
    EXPECT_EQ(AutoSeconds, 45);
    keyprobe::Press(spin, keyprobe::Key::Backspace);
    keyprobe::Press(spin, keyprobe::Key::Backspace);
    // An empty field reads as its minimum.
    EXPECT_EQ(spin->Text(), "");
    EXPECT_EQ(AutoSeconds, 1);
    // Typed numbers are taken as typed, beyond the range too, while the field has the focus.
    keyprobe::Type(spin, "500");
    EXPECT_EQ(AutoSeconds, 500);
    // The glyph buttons take no focus, so the typed value stays.
    ModalScript script;
    script.fileAnswers.push_back(std::nullopt);
    Press(Form1->SpeedButton2);
    EXPECT_TRUE(spin->Focused());
    EXPECT_EQ(AutoSeconds, 500);
    // Nor does the view button, though the player window takes the activation.
    Press(Form1->SpeedButton3);
    ASSERT_TRUE(PlayerLaidOut());
    EXPECT_EQ(AutoSeconds, 500);
    Form1->Show();
    ASSERT_TRUE(WaitFor([] { return Form1->Active(); }));
    EXPECT_EQ(AutoSeconds, 500);
    // Leaving the field brings it to the nearer end of the range.
    Form1->RadioGroup1->SetFocus();
    ASSERT_TRUE(WaitFor([] { return AutoSeconds == 120; }));
    EXPECT_EQ(spin->Text(), "120");
    // The arrows stay in the range.
    spin->SetFocus();
    keyprobe::Press(spin, keyprobe::Key::Up);
    EXPECT_EQ(AutoSeconds, 120);
    keyprobe::Press(spin, keyprobe::Key::Down);
    EXPECT_EQ(AutoSeconds, 119);
}
