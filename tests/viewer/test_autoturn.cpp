// The viewer's player turning its pages by itself: which pages it shows, when it stops, how
// the viewing mode and the seconds chosen in the viewer window reach it, and its answer to a
// sound that cannot be played again.
//
// The windows are the ones the viewer test program creates at its start (test_viewer.cpp).
// Most tests turn the pages by calling the tick handler, with the seconds set high enough
// that the timer itself never comes in between; one waits for the real timer.
#include "modal.h"
#include "mplayer.h"
#include "shunit1.h"
#include "shunit2.h"
#include "uiprobe.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using probe::WaitFor;

class AutoTurn : public ::testing::Test {
protected:
    void SetUp() override
    {
        tk::SetMediaSinks("fakesink sync=true", "fakesink sync=true");
        if (Form3->Visible())
            Form3->Close();
        Form1->Show();
        ASSERT_TRUE(WaitFor([] { return Form1->Active(); }));
        ResetAllPages();
        CurrentPage = 1;
        WorkWidth = DefaultWorkWidth;
        WorkHeight = DefaultWorkHeight;
        WorkFileName.clear();
        ChooseMode(1);
        ChooseSeconds(120);
    }

    // Leaves the start-up state behind, for tests that expect it.
    void TearDown() override
    {
        if (Form3->Visible())
            Form3->Close();
        for (const auto& message : modal_.messages)
            ADD_FAILURE() << "box shown: " << message.text;
        ResetAllPages();
        CurrentPage = 1;
        ChooseMode(1);
        Form1->SpinEdit1->SetValue(1);
        Form1->Show();
        WaitFor([] { return Form1->Active(); });
    }

    // The viewer window's radio group and spin field, as the user sets them.
    static void ChooseMode(int mode) { Form1->RadioGroup1->SetItemIndex(mode - 1); }
    static void ChooseSeconds(int seconds) { Form1->SpinEdit1->SetText(std::to_string(seconds)); }

    // Gives a page a visible text that names it.
    static void GiveContent(std::int32_t page)
    {
        Pages[page].Texts[1].Visible = true;
        Pages[page].Texts[1].Text = "page " + std::to_string(page);
    }
    static bool Shows(std::int32_t page) { return Form3->Memo1->Text() == "page " + std::to_string(page); }

    // The view command, pressed in the viewer window, and the layout after the player's
    // activation.
    static void View()
    {
        Form1->Show();
        ASSERT_TRUE(WaitFor([] { return Form1->Active(); }));
        Form1->SpeedButton3Click(Form1->SpeedButton3);
        ASSERT_TRUE(WaitFor([] { return Form3->Active() && !Form3->Timer1->Enabled(); }));
    }

    static void Tick() { Form3->Timer3Timer(Form3->Timer3); }

    // The pages the next ticks show.
    static std::vector<std::int32_t> Turn(int ticks)
    {
        std::vector<std::int32_t> shown;
        for (int i = 0; i < ticks; ++i) {
            Tick();
            shown.push_back(CurrentPage);
            EXPECT_TRUE(Shows(CurrentPage)) << CurrentPage;
        }
        return shown;
    }

    static void Mark() { Form3->Memo2->SetText("not laid out"); }
    static bool LaidOut() { return Form3->Memo2->Text() != "not laid out"; }

    ModalScript modal_;
};

TEST_F(AutoTurn, TheFirstTurnComesTheChosenSecondsAfterPageOne)
{
    for (std::int32_t page : {1, 5})
        GiveContent(page);
    ChooseMode(3);
    ChooseSeconds(1);
    const long long viewed = probe::NowMs();
    View();
    EXPECT_TRUE(Shows(1));
    EXPECT_TRUE(Form3->Timer3->Enabled());
    EXPECT_EQ(Form3->Timer3->Interval(), 1000u);

    // The player's activation delay, then the second.
    ASSERT_TRUE(WaitFor([] { return CurrentPage == 5; }, 4000));
    EXPECT_GE(probe::NowMs() - viewed, 1150);
    EXPECT_TRUE(Shows(5));
}

TEST_F(AutoTurn, OnceThroughStopsOnTheLastPageWithContent)
{
    for (std::int32_t page : {1, 5, 9})
        GiveContent(page);
    ChooseMode(2);
    View();
    ASSERT_TRUE(Form3->Timer3->Enabled());

    EXPECT_EQ(Turn(2), (std::vector<std::int32_t>{5, 9}));
    Mark();
    Tick();
    EXPECT_FALSE(Form3->Timer3->Enabled());
    EXPECT_EQ(CurrentPage, 9);
    EXPECT_FALSE(LaidOut());

    // A later activation starts the timer again; its next tick stops it again at once.
    Form1->Show();
    ASSERT_TRUE(WaitFor([] { return Form1->Active(); }));
    Form3->Show();
    ASSERT_TRUE(WaitFor([] { return Form3->Active() && !Form3->Timer1->Enabled(); }));
    EXPECT_TRUE(Form3->Timer3->Enabled());
    Tick();
    EXPECT_FALSE(Form3->Timer3->Enabled());
    EXPECT_EQ(CurrentPage, 9);
}

TEST_F(AutoTurn, RepeatingGoesOnFromPageOneAndShowsALonePageAgainAndAgain)
{
    for (std::int32_t page : {1, 5, 9})
        GiveContent(page);
    ChooseMode(3);
    View();
    EXPECT_EQ(Turn(6), (std::vector<std::int32_t>{5, 9, 1, 5, 9, 1}));
    EXPECT_TRUE(Form3->Timer3->Enabled());

    // With one page left with content, each tick lays that page out again.
    Pages[1] = Pages[2];
    Pages[5] = Pages[2];
    CurrentPage = 9;
    for (int tick = 0; tick < 2; ++tick) {
        Mark();
        Tick();
        EXPECT_EQ(CurrentPage, 9);
        EXPECT_TRUE(LaidOut());
    }
}

TEST_F(AutoTurn, AVisibleElementOrASoundIsContentAndNothingElseIs)
{
    // Page 2 holds only what shows nothing: a hidden text, a caption, a picture name, a link.
    Pages[2].Texts[2].Text = "かくれた ぶん";
    Pages[2].Buttons[1].Caption = "つぎへ";
    Pages[2].Pictures[3].FileName = "usagi.bmp";
    Pages[2].Pictures[1].Link = 4;
    // Page 3 has only its second button, page 4 only its third picture, page 6 only a sound
    // (one that cannot be played).
    Pages[3].Buttons[2].Visible = true;
    Pages[4].Pictures[3].Visible = true;
    Pages[6].SoundFile = "missing.wav";
    ChooseMode(2);
    View();
    Tick();
    EXPECT_EQ(CurrentPage, 3);
    EXPECT_TRUE(Form3->Button8->Visible());
    Tick();
    EXPECT_EQ(CurrentPage, 4);
    EXPECT_TRUE(Form3->Image3->Visible());
    Tick();
    EXPECT_EQ(CurrentPage, 6);
    EXPECT_FALSE(Form3->Image3->Visible());
    EXPECT_EQ(Form3->MediaPlayer1->FileName(), "missing.wav");
}

TEST_F(AutoTurn, AWorkWithoutContentStopsOnceThroughAndWaitsWhenRepeating)
{
    ChooseMode(2);
    View();
    ASSERT_TRUE(Form3->Timer3->Enabled());
    Tick();
    EXPECT_FALSE(Form3->Timer3->Enabled());
    EXPECT_EQ(CurrentPage, 1);

    // Repeating, a tick finds nothing, leaves the page as it is and looks again next time.
    ChooseMode(3);
    View();
    Mark();
    Tick();
    EXPECT_TRUE(Form3->Timer3->Enabled());
    EXPECT_EQ(CurrentPage, 1);
    EXPECT_FALSE(LaidOut());
    GiveContent(150);
    Tick();
    EXPECT_EQ(CurrentPage, 150);
}

TEST_F(AutoTurn, APageNumberBeyondTheTableEndsOnceThroughOrStartsOverAtPageOne)
{
    GiveContent(2);
    ChooseMode(3);
    View();
    for (std::int32_t beyond : {201, INT_MAX}) {
        CurrentPage = beyond;
        Tick();
        EXPECT_EQ(CurrentPage, 2) << beyond;
    }
    ChooseMode(2);
    CurrentPage = INT_MAX;
    Tick();
    EXPECT_FALSE(Form3->Timer3->Enabled());
    EXPECT_EQ(CurrentPage, INT_MAX);
}

TEST_F(AutoTurn, TheModeChosenWhileTurningDecidesAtTheEndOfTheWork)
{
    for (std::int32_t page : {1, 5, 9})
        GiveContent(page);
    ChooseMode(3);
    View();
    // "ふつうに見る" does not stop the turning, which goes on from page 1 after the end.
    ChooseMode(1);
    EXPECT_EQ(Turn(3), (std::vector<std::int32_t>{5, 9, 1}));
    // "じどうで見る" stops it after the end.
    ChooseMode(2);
    EXPECT_EQ(Turn(2), (std::vector<std::int32_t>{5, 9}));
    Tick();
    EXPECT_FALSE(Form3->Timer3->Enabled());
}

TEST_F(AutoTurn, AnAutomaticModeChosenWhileViewingByHandWaitsForTheNextActivation)
{
    for (std::int32_t page : {1, 5})
        GiveContent(page);
    View();
    ChooseMode(3);
    EXPECT_FALSE(Form3->Timer3->Enabled());

    Form1->Show();
    ASSERT_TRUE(WaitFor([] { return Form1->Active(); }));
    Form3->Show();
    ASSERT_TRUE(WaitFor([] { return Form3->Active() && !Form3->Timer1->Enabled(); }));
    EXPECT_TRUE(Form3->Timer3->Enabled());
    EXPECT_EQ(Form3->Timer3->Interval(), 120000u);
}

TEST_F(AutoTurn, ATurnWhileTheViewerWindowIsActiveBringsThePlayerBackWithTheNewSeconds)
{
    for (std::int32_t page : {1, 5})
        GiveContent(page);
    ChooseMode(3);
    View();
    Form1->Show();
    ASSERT_TRUE(WaitFor([] { return Form1->Active(); }));
    ChooseSeconds(100);

    Tick();
    EXPECT_EQ(CurrentPage, 5);
    ASSERT_TRUE(WaitFor([] { return Form3->Active(); }));
    // The activation lays the page out once more and takes the seconds chosen meanwhile.
    Mark();
    ASSERT_TRUE(WaitFor([] { return LaidOut(); }));
    EXPECT_TRUE(Shows(5));
    EXPECT_EQ(Form3->Timer3->Interval(), 100000u);
}

TEST_F(AutoTurn, ALinkWhileTurningMovesTheNextTurnOn)
{
    for (std::int32_t page : {1, 5, 9})
        GiveContent(page);
    Pages[1].Buttons[1].Visible = true;
    Pages[1].Buttons[1].Link = 7;
    ChooseMode(3);
    View();

    probe::Click(Form3->Button4);
    EXPECT_EQ(CurrentPage, 7);
    EXPECT_TRUE(Form3->Timer3->Enabled());
    Tick();
    EXPECT_EQ(CurrentPage, 9);
}

TEST_F(AutoTurn, ClosingThePlayerStopsTheTurningAndViewingAgainStartsAtPageOne)
{
    for (std::int32_t page : {1, 5, 9})
        GiveContent(page);
    ChooseMode(3);
    View();
    Tick();
    ASSERT_EQ(CurrentPage, 5);

    Form3->Close();
    EXPECT_FALSE(Form3->Timer3->Enabled());
    View();
    EXPECT_EQ(CurrentPage, 1);
    EXPECT_TRUE(Shows(1));
    EXPECT_TRUE(Form3->Timer3->Enabled());
}

TEST_F(AutoTurn, SecondsOutsideTheRangeNeverTurnOrTurnAsRarelyAsATimerCan)
{
    EXPECT_EQ(PageTurnInterval(-5), 0u);
    EXPECT_EQ(PageTurnInterval(2147483), 2147483000u);
    EXPECT_EQ(PageTurnInterval(2147484), static_cast<unsigned>(INT_MAX));
    EXPECT_EQ(PageTurnInterval(INT_MAX), static_cast<unsigned>(INT_MAX));

    // Typed, 0 reaches the player unchanged: the timer runs but never ticks.
    ChooseMode(3);
    ChooseSeconds(0);
    ASSERT_EQ(AutoSeconds, 0);
    View();
    EXPECT_TRUE(Form3->Timer3->Enabled());
    EXPECT_EQ(Form3->Timer3->Interval(), 0u);
}

TEST_F(AutoTurn, TheViewersKeeperAsksForAReportWhenItCannotPlayTheSoundAgain)
{
    Pages[1].SoundFile = "missing.wav";
    View();
    TMediaPlayer* media = Form3->MediaPlayer1;
    ASSERT_EQ(media->NotifyValue(), nvSuccessful);
    media->SetNotify(false);
    Form3->Timer2Timer(Form3->Timer2);
    EXPECT_TRUE(media->Notify());
    EXPECT_EQ(media->Mode(), mpNotReady);
}

} // namespace
