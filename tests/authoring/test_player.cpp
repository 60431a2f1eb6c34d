// The player window: page layout, picture fallback, links, the corner button, activation and
// the one-shot layout, closing, and printing.
#include "elementpicture.h"
#include "playerprogram.h"

#include <climits>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

using probe::ShowsFile;
using probe::ShowsResource;
using probe::WaitFor;

class Player : public ::testing::Test {
protected:
    std::string Mascot() const { return program_.Mascot(); }

    // Shows the player and waits for the layout that follows its activation.
    void ShowPlayer() { ASSERT_TRUE(PlayerProgram::ShowAndLayOut()); }

    // Marks the first text so that a later layout shows in it.
    static void MarkLayout() { Form3->Memo1->SetText("not laid out"); }
    static bool LaidOut() { return Form3->Memo1->Text() != "not laid out"; }

    PlayerProgram program_;
    const testing_files::ScratchFolder& folder_ = program_.Folder();
    ModalScript& modal_ = program_.Modal();
    static inline TForm*& mainWindow_ = PlayerProgram::MainWindow();
};

// ---------------------------------------------------------------------------------------------
// The window as created

TEST_F(Player, ComesUpHiddenWithNothingArmed)
{
    EXPECT_FALSE(Form3->Visible());
    EXPECT_FALSE(Form3->Timer1->Enabled());
    EXPECT_FALSE(Form3->Timer2->Enabled());
    EXPECT_EQ(Form3->Caption(), "Pagora");
    EXPECT_EQ(Form3->Button1->Hint(), "１ページめにもどります");
    EXPECT_TRUE(Form3->Button1->ShowHint());
    EXPECT_TRUE(ShowsResource(Form3->Image3->Picture(), LayoutPictureResource));
    ASSERT_EQ(Form3->PopupMenu(), Form3->PopupMenu1);
    EXPECT_EQ(Form3->PopupMenu1->Items().at(0), Form3->print1);
}

// ---------------------------------------------------------------------------------------------
// Page layout

TEST_F(Player, ShowPageAppliesEveryFieldOfTheRecord)
{
    datax& r = Pages[3];
    for (int i = 1; i <= 3; ++i) {
        r.Pictures[i] = datag1{"", i != 2, 10 * i, 20 + i, 30 + i, 40 + i, 0};
        datat1& t = r.Texts[i];
        t.Visible = i != 1;
        t.Top = 100 + i;
        t.Height = 50 + i;
        t.Left = 200 + 10 * i;
        t.Width = 60 + i;
        t.FontColor = 0x0000FF * i;
        t.FontName = i == 3 ? "ＭＳ ゴシック" : "ＭＳ Ｐ明朝";
        t.FontSize = 8 + 2 * i;
        t.Text = "ぎょう1\r\nぎょう" + std::to_string(i);
    }
    r.Buttons[1] = datab1{true, 0, "いく", 300, 30, 20, 70};
    r.Buttons[2] = datab1{false, 0, "もどる", 310, 31, 120, 71};
    ShowPlayer();

    CurrentPage = 3;
    ShowPage(3);

    TImage* images[] = {Form3->Image1, Form3->Image2, Form3->Image3};
    TMemo* memos[] = {Form3->Memo1, Form3->Memo2, Form3->Memo3};
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        TImage* image = images[i - 1];
        EXPECT_EQ(image->Visible(), i != 2);
        EXPECT_EQ(image->Top(), 10 * i);
        EXPECT_EQ(image->Height(), 20 + i);
        EXPECT_EQ(image->Left(), 30 + i);
        EXPECT_EQ(image->Width(), 40 + i);
        TMemo* memo = memos[i - 1];
        EXPECT_EQ(memo->Visible(), i != 1);
        EXPECT_EQ(memo->Top(), 100 + i);
        EXPECT_EQ(memo->Height(), 50 + i);
        EXPECT_EQ(memo->Left(), 200 + 10 * i);
        EXPECT_EQ(memo->Width(), 60 + i);
        EXPECT_EQ(memo->Font()->Color(), 0x0000FF * i);
        EXPECT_EQ(memo->Font()->Name(), r.Texts[i].FontName);
        EXPECT_EQ(memo->Font()->Size(), 8 + 2 * i);
        EXPECT_EQ(memo->Font()->Style(), 0u);
        EXPECT_EQ(memo->Text(), r.Texts[i].Text);
    }
    EXPECT_TRUE(Form3->Button4->Visible());
    EXPECT_FALSE(Form3->Button8->Visible());
    EXPECT_EQ(Form3->Button4->Caption(), "いく");
    EXPECT_EQ(Form3->Button8->Caption(), "もどる");
    EXPECT_EQ(Form3->Button4->Top(), 300);
    EXPECT_EQ(Form3->Button4->Height(), 30);
    EXPECT_EQ(Form3->Button4->Left(), 20);
    EXPECT_EQ(Form3->Button4->Width(), 70);
    EXPECT_EQ(Form3->Button8->Top(), 310);
    EXPECT_EQ(Form3->Button8->Height(), 31);
    EXPECT_EQ(Form3->Button8->Left(), 120);
    EXPECT_EQ(Form3->Button8->Width(), 71);
    EXPECT_TRUE(Form3->Button1->Focused());
    EXPECT_EQ(CurrentPage, 3);
}

TEST_F(Player, StyleCodesSetBoldOrItalicAloneAndOtherCodesKeepTheStyle)
{
    for (int i = 1; i <= 3; ++i)
        Pages[1].Texts[i].FontStyle = 2;
    Pages[2].Texts[1].FontStyle = 1;
    Pages[2].Texts[2].FontStyle = 5;
    Pages[2].Texts[3].FontStyle = 0;
    Pages[3].Texts[1].FontStyle = -1;
    ShowPlayer();

    ShowPage(1);
    ShowPage(2);
    EXPECT_EQ(Form3->Memo1->Font()->Style(), static_cast<TFontStyles>(fsBold));
    EXPECT_EQ(Form3->Memo2->Font()->Style(), static_cast<TFontStyles>(fsItalic));
    EXPECT_EQ(Form3->Memo3->Font()->Style(), 0u);
    ShowPage(3);
    EXPECT_EQ(Form3->Memo1->Font()->Style(), static_cast<TFontStyles>(fsBold));
}

TEST_F(Player, PagesOutsideTheTableLayNothingOut)
{
    ShowPlayer();
    for (std::int32_t n : {0, 201, INT_MAX, -1}) {
        MarkLayout();
        ShowPage(n);
        EXPECT_FALSE(LaidOut()) << n;
    }
}

// ---------------------------------------------------------------------------------------------
// Pictures

TEST_F(Player, HiddenPicturesLoadTooAndThoseThatFailShowTheMascot)
{
    const std::string picture = folder_ / "picture.bmp";
    probe::WriteBitmap(picture, 9, 7, 0xFF0000);
    // A valid bitmap under an extension without a decoder still fails.
    std::filesystem::copy_file(picture, folder_ / "picture.gif");
    Pages[1].Pictures[1].FileName = picture;
    Pages[1].Pictures[2].FileName = folder_ / "picture.gif";
    Pages[1].Pictures[3].FileName = folder_ / "missing.bmp";
    Pages[2].Pictures[1].FileName = "";
    const datax before = Pages[1];
    ShowPlayer();

    ShowPage(1);
    ASSERT_FALSE(Form3->Image1->Visible());
    EXPECT_TRUE(ShowsFile(Form3->Image1->Picture(), picture));
    EXPECT_TRUE(ShowsFile(Form3->Image2->Picture(), Mascot()));
    EXPECT_TRUE(ShowsFile(Form3->Image3->Picture(), Mascot()));
    EXPECT_EQ(Pages[1], before);

    ShowPage(2);
    EXPECT_TRUE(ShowsFile(Form3->Image1->Picture(), Mascot()));
}

// Pictures are kept decoded by their file's identity, so a page shown again shows what its
// files hold now: a file saved anew since then is decoded again, and a load that failed is
// tried again even when the file's size and time say nothing changed.
TEST_F(Player, APageShownAgainShowsItsFilesAsTheyAreNow)
{
    const std::string picture = folder_ / "picture.bmp";
    const auto saved = [&](std::chrono::minutes ago) {
        std::filesystem::last_write_time(picture, std::filesystem::file_time_type::clock::now() - ago);
    };
    probe::WriteBitmap(picture, 9, 7, 0xFF0000);
    saved(std::chrono::hours(2));
    Pages[1].Pictures[1].FileName = picture;
    ShowPlayer();
    EXPECT_TRUE(ShowsFile(Form3->Image1->Picture(), picture));

    probe::WriteBitmap(picture, 9, 7, 0x00FF00); // in place, at the same size
    saved(std::chrono::hours(1));
    ShowPage(1);
    EXPECT_TRUE(ShowsFile(Form3->Image1->Picture(), picture));

    const std::string good = testing_files::ReadBytes(picture);
    testing_files::WriteBytes(picture, std::string(good.size(), '\0'));
    saved(std::chrono::minutes(30));
    const auto time = std::filesystem::last_write_time(picture);
    ShowPage(1);
    EXPECT_TRUE(ShowsFile(Form3->Image1->Picture(), Mascot()));
    testing_files::WriteBytes(picture, good);
    std::filesystem::last_write_time(picture, time);
    ShowPage(1);
    EXPECT_TRUE(ShowsFile(Form3->Image1->Picture(), picture));
}

TEST_F(Player, AMissingMascotStopsNoLayout)
{
    std::filesystem::remove(Mascot());
    Pages[1].Buttons[2].Visible = true;
    Pages[1].Texts[3].Text = "さいご";
    ShowPlayer();

    ShowPage(1);
    for (TImage* image : {Form3->Image1, Form3->Image2, Form3->Image3})
        EXPECT_TRUE(ShowsResource(image->Picture(), LayoutPictureResource));
    EXPECT_TRUE(Form3->Button8->Visible());
    EXPECT_EQ(Form3->Memo3->Text(), "さいご");
}

// ---------------------------------------------------------------------------------------------
// Links

TEST_F(Player, EachElementFollowsItsOwnLink)
{
    struct Element {
        TControl* control;
        std::int32_t* link;
    };
    datax& r = Pages[1];
    const Element elements[] = {
        {Form3->Image1, &r.Pictures[1].Link}, {Form3->Image2, &r.Pictures[2].Link}, {Form3->Image3, &r.Pictures[3].Link},
        {Form3->Memo1, &r.Texts[1].Link},     {Form3->Memo2, &r.Texts[2].Link},     {Form3->Memo3, &r.Texts[3].Link},
        {Form3->Button4, &r.Buttons[1].Link}, {Form3->Button8, &r.Buttons[2].Link},
    };
    for (std::size_t k = 0; k < std::size(elements); ++k)
        *elements[k].link = static_cast<std::int32_t>(10 + k);
    ShowPlayer();

    for (std::size_t k = 0; k < std::size(elements); ++k) {
        CurrentPage = 1;
        elements[k].control->OnClick(elements[k].control);
        EXPECT_EQ(CurrentPage, static_cast<std::int32_t>(10 + k)) << k;
        EXPECT_EQ(LinkTarget, static_cast<std::int32_t>(10 + k));
    }
}

TEST_F(Player, APositiveLinkLaysOutItsPageAndTheLinkIsReadAtTheClick)
{
    Pages[7].Texts[1].Text = "ななページ";
    Pages[1].Buttons[1].Visible = true;
    ShowPlayer();
    // The link changes while the page is shown, as the link dialog may change it.
    Pages[1].Buttons[1].Link = 7;

    probe::Click(Form3->Button4);

    EXPECT_EQ(CurrentPage, 7);
    EXPECT_EQ(Form3->Memo1->Text(), "ななページ");
    // A link to the page already shown lays it out again.
    Pages[7].Pictures[1].Link = 7;
    MarkLayout();
    Form3->Image1Click(Form3->Image1);
    EXPECT_TRUE(LaidOut());
}

TEST_F(Player, LinksOfZeroAndBeyondTheTableDoNothing)
{
    ShowPlayer();
    CurrentPage = 4;
    for (std::int32_t link : {0, 201, INT_MAX}) {
        Pages[4].Texts[2].Link = link;
        MarkLayout();
        Form3->Memo2Click(Form3->Memo2);
        EXPECT_EQ(CurrentPage, 4) << link;
        EXPECT_FALSE(LaidOut()) << link;
        EXPECT_TRUE(Form3->Visible());
    }
}

TEST_F(Player, ANegativeLinkClosesThePlayerAndKeepsThePage)
{
    ShowPlayer();
    CurrentPage = 4;
    ShowPage(4);
    Pages[4].Pictures[3].Link = -1;
    ASSERT_TRUE(Form3->Timer2->Enabled());
    ASSERT_TRUE(Form3->MediaPlayer1->Enabled());

    Form3->Image3Click(Form3->Image3);

    EXPECT_FALSE(Form3->Visible());
    EXPECT_EQ(CurrentPage, 4);
    EXPECT_FALSE(Form3->Timer2->Enabled());
    EXPECT_FALSE(Form3->Timer1->Enabled());
    EXPECT_FALSE(Form3->MediaPlayer1->Enabled());
}

TEST_F(Player, TheCornerButtonGoesBackToPageOne)
{
    Pages[1].Texts[1].Text = "はじめ";
    ShowPlayer();
    CurrentPage = 9;
    ShowPage(9);

    probe::Click(Form3->Button1);
    EXPECT_EQ(CurrentPage, 1);
    EXPECT_EQ(Form3->Memo1->Text(), "はじめ");

    // On page 1 it lays page 1 out again.
    MarkLayout();
    Form3->Button1Click(Form3->Button1);
    EXPECT_TRUE(LaidOut());
}

// ---------------------------------------------------------------------------------------------
// Activation and the one-shot layout

TEST_F(Player, TheCaptionNamesTheWorkFileFromTheNextActivation)
{
    ShowPlayer();
    EXPECT_EQ(Form3->Caption(), "Pagora ");

    WorkFileName = "/home/me/うさぎ.kse";
    mainWindow_->Show();
    ASSERT_TRUE(WaitFor([] { return mainWindow_->Active(); }));
    EXPECT_EQ(Form3->Caption(), "Pagora ");
    Form3->Show();
    ASSERT_TRUE(WaitFor([] { return Form3->Active(); }));
    EXPECT_EQ(Form3->Caption(), "Pagora /home/me/うさぎ.kse");
}

TEST_F(Player, EachActivationLaysTheCurrentPageOutAgainAtTheWorksSize)
{
    WorkWidth = 640;
    WorkHeight = 480;
    CurrentPage = 2;
    Pages[2].Texts[1].Text = "にページ";
    const long long shown = probe::NowMs();
    Form3->Show();
    ASSERT_TRUE(WaitFor([] { return Form3->Memo1->Text() == "にページ"; }));
    EXPECT_GE(probe::NowMs() - shown, 190);
    EXPECT_EQ(Form3->Width(), 640);
    EXPECT_EQ(Form3->Height(), 480);
    EXPECT_FALSE(Form3->Timer1->Enabled());
    EXPECT_TRUE(Form3->Timer2->Enabled());
    EXPECT_TRUE(Form3->MediaPlayer1->Enabled());

    // The user resizes the player, goes to the main window and comes back.
    Form3->SetWidth(700);
    Form3->SetHeight(500);
    mainWindow_->Show();
    ASSERT_TRUE(WaitFor([] { return mainWindow_->Active(); }));
    MarkLayout();
    Form3->Show();
    ASSERT_TRUE(WaitFor([] { return LaidOut(); }));
    EXPECT_EQ(Form3->Width(), 640);
    EXPECT_EQ(Form3->Height(), 480);
    EXPECT_EQ(Form3->Memo1->Text(), "にページ");
}

TEST_F(Player, ALayoutWhileAnotherWindowIsActiveActivatesThePlayerAgain)
{
    ShowPlayer();
    mainWindow_->Show();
    ASSERT_TRUE(WaitFor([] { return mainWindow_->Active(); }));

    Form3->Button1Click(Form3->Button1);
    ASSERT_TRUE(WaitFor([] { return Form3->Active(); }));
    MarkLayout();
    EXPECT_TRUE(WaitFor([] { return LaidOut(); }));
}

TEST_F(Player, ClosingStopsAllTimersSoNoLayoutRunsOnAHiddenWindow)
{
    Form3->Show();
    ASSERT_TRUE(WaitFor([] { return Form3->Timer1->Enabled(); }));
    MarkLayout();

    Form3->Close();

    EXPECT_FALSE(Form3->Visible());
    EXPECT_FALSE(Form3->Timer1->Enabled());
    EXPECT_FALSE(Form3->Timer2->Enabled());
    EXPECT_FALSE(Form3->MediaPlayer1->Enabled());
    EXPECT_FALSE(LaidOut());

    // The next show starts over.
    ShowPlayer();
    EXPECT_TRUE(LaidOut());
}

// ---------------------------------------------------------------------------------------------
// Printing

TEST_F(Player, PrintingWritesTheWindowIntoTheChosenFileAndCancelPrintsNothing)
{
    ShowPlayer();
    const std::string pdf = folder_ / "player.pdf";
    modal_.printAnswers = {pdf, std::nullopt};

    Form3->print1->OnClick(Form3->print1);
    ASSERT_TRUE(std::filesystem::exists(pdf));
    EXPECT_EQ(testing_files::ReadBytes(pdf).substr(0, 5), "%PDF-");

    std::filesystem::remove(pdf);
    Form3->print1Click(Form3->print1);
    EXPECT_EQ(modal_.printDialogs, 2);
    EXPECT_FALSE(std::filesystem::exists(pdf));
}

} // namespace
