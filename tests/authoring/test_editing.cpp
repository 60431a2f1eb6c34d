// The editing window's mouse: dragging elements and the tool panel, the paint program, the
// contents dialogs and link choice; and the link dialog.
#include "editorprogram.h"
#include "filetesting.h"
#include "modal.h"
#include "uiprobe.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using probe::Click;
using probe::DoubleClick;
using probe::MoveTo;
using probe::Press;
using probe::Release;
using probe::ShowsFile;
using probe::WaitFor;
using testing_files::ReadBytes;
using testing_files::ScratchFolder;
using testing_files::WriteBytes;

struct Bounds {
    int left, top, width, height;
    bool operator==(const Bounds&) const = default;
};

Bounds BoundsOf(TControl* control) { return {control->Left(), control->Top(), control->Width(), control->Height()}; }

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// PATH as a test sets it, put back afterwards.
class ScopedPath {
public:
    explicit ScopedPath(const std::string& path)
    {
        if (const char* old = std::getenv("PATH"))
            previous_ = old;
        setenv("PATH", path.c_str(), 1);
    }
    ~ScopedPath() { setenv("PATH", previous_.c_str(), 1); }
    ScopedPath(const ScopedPath&) = delete;
    ScopedPath& operator=(const ScopedPath&) = delete;

private:
    std::string previous_;
};

// A stand-in program that writes what it was started with into a record file, all at once:
// its number of arguments, its current folder, then each argument on a line of its own.
void WriteStandIn(const std::string& path, const std::string& record)
{
    WriteBytes(path, "#!/bin/sh\n"
                     "PATH=/usr/bin:/bin\n"
                     "{ echo \"$#\"; pwd -P; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > '" +
                         record + ".part'\n"
                                  "mv '" +
                         record + ".part' '" + record + "'\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

// What a stand-in recorded, once it has: the arguments' count, the folder, the arguments.
std::vector<std::string> WaitForRecord(const std::string& record)
{
    if (!WaitFor([&] { return std::filesystem::exists(record); }))
        return {};
    return Lines(ReadBytes(record));
}

// The processes this thread has started and that are not yet reaped, zombies included.
std::string UnreapedChildren()
{
    return ReadBytes("/proc/self/task/" + std::to_string(gettid()) + "/children");
}

// The editing window as the program block starts it, with a "pbrush.exe" stand-in first on PATH.
class Editing : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directory(Bin());
        WriteStandIn(Bin() + "/pbrush.exe", Record());
    }

    void TearDown() override
    {
        probe::ForgetHeldButtons();
        Screen->SetCursor(crDefault);
    }

    std::string Mascot() const { return program_.Mascot(); }
    std::string Bin() const { return folder_ / "bin"; }
    std::string Record() const { return folder_ / "pbrush.record"; }

    static void SetMode(int mode) { Form1->RadioGroup2->SetItemIndex(mode - 1); }
    // Every element shown, as its check box does it.
    static void ShowAllElements()
    {
        for (int k : {1, 2, 3, 4, 5, 6, 8, 9})
            Form1->ElementBox(k)->SetChecked(true);
    }

    EditorProgram program_;
    const ScratchFolder& folder_ = program_.Folder();
    ScopedPath path_{folder_ / "bin"};
    // A box or dialog that a test does not answer fails it instead of waiting for a user.
    ModalScript unanswered_;
};

// ---------------------------------------------------------------------------------------------
// Dragging elements

TEST_F(Editing, APressInTheCornerSquareMovesAndAnywhereElseResizes)
{
    ShowAllElements();
    SetMode(2);
    struct Case {
        TControl* element;
        int x, y;
        std::int32_t kind;
        TCursor cursor;
    };
    for (Case c : {Case{Form1->Image2, 9, 9, 1, crDrag}, Case{Form1->Memo1, 10, 0, 2, crSizeNWSE},
                   Case{Form1->Button4, 0, 10, 2, crSizeNWSE}, Case{Form1->Memo3, 0, 0, 1, crDrag}}) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        Press(c.element, mbLeft, c.x, c.y);
        EXPECT_TRUE(Dragging);
        EXPECT_EQ(DragKind, c.kind);
        EXPECT_EQ(Screen->Cursor(), c.cursor);
        Release(c.element, mbLeft, c.x, c.y);
        EXPECT_FALSE(Dragging);
        EXPECT_EQ(DragKind, c.kind);
        EXPECT_EQ(Screen->Cursor(), crDefault);
    }
}

TEST_F(Editing, AResizeGivesThePointersOffsetWithSixteenPixelsAtLeast)
{
    ShowAllElements();
    SetMode(2);
    TImage* image = Form1->Image1;
    Press(image, mbLeft, 40, 40);
    MoveTo(image, 5, 100);
    EXPECT_EQ(BoundsOf(image), (Bounds{8, 16, 16, 100}));
    MoveTo(image, -30, -30);
    EXPECT_EQ(BoundsOf(image), (Bounds{8, 16, 16, 16}));
    MoveTo(image, 300, 17);
    EXPECT_EQ(BoundsOf(image), (Bounds{8, 16, 300, 17}));
    Release(image, mbLeft, 300, 17);
    // A move after the release changes nothing.
    MoveTo(image, 50, 50);
    EXPECT_EQ(BoundsOf(image), (Bounds{8, 16, 300, 17}));
}

TEST_F(Editing, AMovePutsTheCornerUnderThePointerEvenOutOfTheWindow)
{
    ShowAllElements();
    SetMode(2);
    TButton* button = Form1->Button8;
    Press(button, mbLeft, 2, 3);
    MoveTo(button, 3, 4);
    EXPECT_EQ(BoundsOf(button), (Bounds{99, 476, 65, 33}));
    MoveTo(button, -200, -600);
    EXPECT_EQ(BoundsOf(button), (Bounds{-101, -124, 65, 33}));
    Release(button, mbLeft, 0, 0);
    // The page takes the position as it is, off the window or not.
    StoreEditorPage();
    EXPECT_EQ(Pages[1].Buttons[2].Left, -101);
    EXPECT_EQ(Pages[1].Buttons[2].Top, -124);
}

TEST_F(Editing, APressDoesItsWorkInOneModeOnly)
{
    // No element moves and no question comes (the fixture fails any) but for a left press in
    // the position-and-size mode and a right press in the contents mode.
    ShowAllElements();
    const Bounds before = BoundsOf(Form1->Image1);
    for (int mode : {1, 2, 3}) {
        SetMode(mode);
        for (TMouseButton button : {mbLeft, mbRight, mbMiddle}) {
            if ((mode == 2 && button == mbLeft) || (mode == 1 && button == mbRight))
                continue;
            Press(Form1->Image1, button, 40, 40);
            EXPECT_FALSE(Dragging);
            // Let go off the picture, which makes no click.
            MoveTo(Form1->Image1, 160, 160);
            Release(Form1->Image1, button, 160, 160);
        }
    }
    EXPECT_EQ(BoundsOf(Form1->Image1), before);
    EXPECT_EQ(Screen->Cursor(), crDefault);
}

TEST_F(Editing, TheReleaseOfAnotherButtonEndsTheDrag)
{
    ShowAllElements();
    SetMode(2);
    TImage* image = Form1->Image3;
    Press(image, mbLeft, 40, 40);
    Press(image, mbRight, 40, 40);
    Release(image, mbRight, 40, 40);
    EXPECT_FALSE(Dragging);
    EXPECT_EQ(Screen->Cursor(), crDefault);
    MoveTo(image, 20, 20);
    EXPECT_EQ(image->Width(), 81);
    Release(image, mbLeft, 20, 20);
}

TEST_F(Editing, AReleaseOutsidePositionAndSizeModeLeavesTheDragRunning)
{
    ShowAllElements();
    SetMode(2);
    Press(Form1->Image1, mbLeft, 40, 40);
    SetMode(1);
    Release(Form1->Image1, mbLeft, 100, 100);
    EXPECT_TRUE(Dragging);
    EXPECT_EQ(Screen->Cursor(), crSizeNWSE);
    // Every move that reaches an element resizes it, without a button held.
    MoveTo(Form1->Memo2, 40, 30);
    EXPECT_EQ(Form1->Memo2->Width(), 40);
    EXPECT_EQ(Form1->Memo2->Height(), 30);
    // A release on the tool panel ends it.
    Release(Form1->Panel1, mbLeft, 5, 5);
    EXPECT_FALSE(Dragging);
    EXPECT_EQ(Screen->Cursor(), crDefault);
    MoveTo(Form1->Memo2, 90, 90);
    EXPECT_EQ(Form1->Memo2->Width(), 40);
}

// ---------------------------------------------------------------------------------------------
// Dragging the tool panel

TEST_F(Editing, TheToolPanelDragsWithAnyButtonInEveryModeWhateverTheLastElementDrag)
{
    ShowAllElements();
    SetMode(2);
    Press(Form1->Memo1, mbLeft, 50, 50);
    Release(Form1->Memo1, mbLeft, 50, 50);
    ASSERT_EQ(DragKind, 2);
    TPanel* panel = Form1->Panel1;
    for (int mode : {1, 2, 3}) {
        SetMode(mode);
        for (TMouseButton button : {mbLeft, mbRight, mbMiddle}) {
            SCOPED_TRACE("mode " + std::to_string(mode) + " button " + std::to_string(button));
            const Bounds before = BoundsOf(panel);
            Press(panel, button, 100, 200);
            EXPECT_TRUE(Dragging);
            EXPECT_EQ(Screen->Cursor(), crDrag);
            MoveTo(panel, 5, -3);
            EXPECT_EQ(BoundsOf(panel), (Bounds{before.left + 5, before.top - 3, 201, 497}));
            Release(panel, button, 0, 0);
            EXPECT_FALSE(Dragging);
            EXPECT_EQ(Screen->Cursor(), crDefault);
            MoveTo(panel, 7, 7);
            EXPECT_EQ(panel->Left(), before.left + 5);
        }
    }
    EXPECT_EQ(DragKind, 2);
}

// ---------------------------------------------------------------------------------------------
// The paint program

TEST_F(Editing, ARightPressStartsThePaintProgramOnTheNameAsStoredInTheCurrentFolder)
{
    // A name with blanks and Japanese characters goes as one argument, unquoted.
    const std::string picture = folder_ / "え の絵 1.bmp";
    probe::WriteBitmap(tk::NativePath(picture), 8, 8, 0xFF0000);
    Pages[1].Pictures[2].FileName = picture;
    ShowEditorPage(1);
    probe::WriteBitmap(tk::NativePath(picture), 8, 8, 0x0000FF);
    // A file dialog may have moved the current folder away from the start folder.
    std::filesystem::create_directory(folder_ / "elsewhere");
    std::filesystem::current_path(folder_ / "elsewhere");
    ModalScript script;
    script.messageAnswers = {mrNo};
    Press(Form1->Image2, mbRight, 10, 10);
    Release(Form1->Image2, mbRight, 10, 10);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].kind, tk::MessageBoxRequest::Kind::Information);
    EXPECT_EQ(script.messages[0].text, "絵２のなおしたところをよみこみます");
    EXPECT_EQ(WaitForRecord(Record()),
              (std::vector<std::string>{"1", std::filesystem::canonical(folder_ / "elsewhere").string(),
                                        tk::NativePath(picture)}));
    // Nobody waits for the paint program, yet it leaves no zombie behind.
    EXPECT_TRUE(WaitFor([] { return UnreapedChildren().empty(); }));
    // "いいえ" leaves picture and record alone.
    EXPECT_FALSE(ShowsFile(Form1->Image2->Picture(), tk::NativePath(picture)));
    EXPECT_EQ(Pages[1].Pictures[2].FileName, picture);
}

TEST_F(Editing, AnEmptyNameStartsThePaintProgramWithoutArgumentAndYesShowsTheMascot)
{
    Form1->ElementBox(3)->SetChecked(true);
    ModalScript script;
    script.messageAnswers = {mrYes};
    Press(Form1->Image3, mbRight, 10, 10);
    EXPECT_EQ(script.messages.at(0).text, "絵３のなおしたところをよみこみます");
    std::vector<std::string> record = WaitForRecord(Record());
    ASSERT_EQ(record.size(), 2u);
    EXPECT_EQ(record[0], "0");
    EXPECT_TRUE(ShowsFile(Form1->Image3->Picture(), Mascot()));
    EXPECT_TRUE(Pages[1].Pictures[3].FileName.empty());
}

TEST_F(Editing, YesReloadsThePictureAndDropsANameThatNoLongerLoadsFromThisPageOnly)
{
    const std::string picture = folder_ / "pic.bmp";
    probe::WriteBitmap(picture, 8, 8, 0xFF0000);
    Pages[1].Pictures[1].FileName = picture;
    Pages[2].Pictures[1].FileName = picture;
    ShowEditorPage(1);
    ModalScript script;
    script.messageAnswers = {mrYes, mrYes};
    // What the user saved in the paint program comes in.
    probe::WriteBitmap(picture, 8, 8, 0x0000FF);
    ASSERT_FALSE(ShowsFile(Form1->Image1->Picture(), picture));
    Press(Form1->Image1, mbRight, 10, 10);
    EXPECT_TRUE(ShowsFile(Form1->Image1->Picture(), picture));
    EXPECT_EQ(Pages[1].Pictures[1].FileName, picture);

    WriteBytes(picture, "BM but no picture");
    Press(Form1->Image1, mbRight, 10, 10);
    EXPECT_TRUE(ShowsFile(Form1->Image1->Picture(), Mascot()));
    EXPECT_TRUE(Pages[1].Pictures[1].FileName.empty());
    EXPECT_EQ(Pages[2].Pictures[1].FileName, picture);
    EXPECT_TRUE(script.MessagesOf(tk::MessageBoxRequest::Kind::Error).empty());
    WaitForRecord(Record());
}

TEST_F(Editing, ARightPressOnEitherPageButtonWorksOnPictureOne)
{
    const std::string picture = folder_ / "pic.bmp";
    probe::WriteBitmap(picture, 8, 8, 0xFF0000);
    Pages[1].Pictures[1].FileName = picture;
    Pages[1].Pictures[1].Visible = false;
    Pages[1].Buttons[1].Visible = true;
    Pages[1].Buttons[2].Visible = true;
    ShowEditorPage(1);
    for (TButton* button : {Form1->Button4, Form1->Button8}) {
        std::filesystem::remove(Record());
        Form1->Image1->Picture()->LoadFromFile(Mascot());
        ModalScript script;
        script.messageAnswers = {mrYes};
        Press(button, mbRight, 10, 10);
        Release(button, mbRight, 10, 10);
        EXPECT_EQ(script.messages.at(0).text, "絵１のなおしたところをよみこみます");
        EXPECT_EQ(WaitForRecord(Record()).at(2), picture);
        // Reloaded although picture 1 is hidden; the button's caption is not asked for.
        EXPECT_TRUE(ShowsFile(Form1->Image1->Picture(), picture));
        EXPECT_TRUE(script.inputs.empty());
    }
}

TEST_F(Editing, WithoutAPaintProgramTheQuestionStillComes)
{
    std::filesystem::create_directory(folder_ / "empty");
    ScopedPath nothing((folder_ / "empty"));
    ModalScript script;
    script.messageAnswers = {mrNo};
    Press(Form1->Image1, mbRight, 10, 10);
    EXPECT_EQ(script.messages.size(), 1u);
    EXPECT_TRUE(script.MessagesOf(tk::MessageBoxRequest::Kind::Error).empty());
}

TEST_F(Editing, NeitherTheCurrentFolderNorARelativePathEntryIsSearched)
{
    // A "pbrush.exe" in the current folder, named by "." and by an empty entry, and one in a
    // folder named relative to it, are passed over.
    WriteStandIn(folder_ / "pbrush.exe", folder_ / "current.record");
    std::filesystem::create_directory(folder_ / "rel");
    WriteStandIn(folder_ / "rel/pbrush.exe", folder_ / "rel.record");
    ScopedPath path(".::rel:" + Bin());
    ModalScript script;
    script.messageAnswers = {mrNo};
    Press(Form1->Image1, mbRight, 10, 10);
    EXPECT_FALSE(WaitForRecord(Record()).empty());
    EXPECT_FALSE(std::filesystem::exists(folder_ / "current.record"));
    EXPECT_FALSE(std::filesystem::exists(folder_ / "rel.record"));
}

TEST_F(Editing, WithoutPbrushTheFirstDesktopPaintProgramFoundStandsIn)
{
    const std::string paints = folder_ / "paints";
    std::filesystem::create_directory(paints);
    WriteStandIn(paints + "/gimp", folder_ / "gimp.record");
    WriteStandIn(paints + "/mtpaint", folder_ / "mtpaint.record");
    ScopedPath path(paints);
    Pages[1].Pictures[1].FileName = "pic.bmp";
    ModalScript script;
    script.messageAnswers = {mrNo};
    Press(Form1->Image1, mbRight, 10, 10);
    EXPECT_EQ(WaitForRecord(folder_ / "mtpaint.record").at(2), "pic.bmp");
    EXPECT_FALSE(std::filesystem::exists(folder_ / "gimp.record"));
}

TEST_F(Editing, ANameThatLooksLikeAnOptionReachesThePaintProgramAsAFile)
{
    for (const char* name : {"-h", "--batch=(gimp-quit 0)"}) {
        SCOPED_TRACE(name);
        std::filesystem::remove(Record());
        Pages[1].Pictures[1].FileName = name;
        ModalScript script;
        script.messageAnswers = {mrNo};
        Press(Form1->Image1, mbRight, 10, 10);
        EXPECT_EQ(WaitForRecord(Record()).at(2), std::string("./") + name);
    }
}

// ---------------------------------------------------------------------------------------------
// Contents dialogs

TEST_F(Editing, ThePictureDialogStoresTheChosenPathEvenWhenItDoesNotLoad)
{
    ShowAllElements();
    const std::string good = folder_ / "good.bmp";
    const std::string bad = folder_ / "bad.bmp";
    probe::WriteBitmap(good, 8, 8, 0x0000FF);
    WriteBytes(bad, "BM damaged");
    ModalScript script;
    script.fileAnswers = {good, bad, std::nullopt};
    Click(Form1->Image3);
    ASSERT_EQ(script.fileDialogs.size(), 1u);
    EXPECT_EQ(script.fileDialogs[0].kind, TOpenDialog::Kind::OpenPicture);
    EXPECT_EQ(script.fileDialogs[0].title, "えをよみこみます");
    EXPECT_EQ(script.fileDialogs[0].filter,
              "すべてのﾌｧｲﾙ (*.bmp;*.ico;*.emf;*.wmf;*.jpg)|*.bmp;*.ico;*.emf;*.wmf;*.jpg|ﾋﾞｯﾄﾏｯﾌﾟ (*.bmp)|*.bmp|"
              "ｱｲｺﾝ (*.ico)|*.ico|ｴﾝﾊﾝｽ ﾒﾀﾌｧｲﾙ (*.emf)|*.emf|ﾒﾀﾌｧｲﾙ (*.wmf)|*.wmf|jpeg(*.jpg)|*.jpg");
    EXPECT_TRUE(ShowsFile(Form1->Image3->Picture(), good));
    EXPECT_EQ(Pages[1].Pictures[3].FileName, good);

    Click(Form1->Image1);
    EXPECT_TRUE(ShowsFile(Form1->Image1->Picture(), Mascot()));
    EXPECT_EQ(Pages[1].Pictures[1].FileName, bad);
    EXPECT_TRUE(script.MessagesOf(tk::MessageBoxRequest::Kind::Error).empty());
    // The one dialog offers the name it returned last, for whichever picture.
    Click(Form1->Image2);
    EXPECT_EQ(script.fileDialogs[2].fileName, bad);
    EXPECT_TRUE(Pages[1].Pictures[2].FileName.empty());
    EXPECT_EQ(BoundsOf(Form1->Image3), (Bounds{8, 208, 81, 81}));
}

TEST_F(Editing, OnlyBoldAloneAndItalicAloneKeepAStyleCode)
{
    ShowAllElements();
    struct Case {
        TFontStyles style;
        std::int32_t code;
    };
    for (Case c : {Case{fsBold | fsItalic, 0}, Case{fsBold | fsUnderline, 0}, Case{fsUnderline | fsStrikeOut, 0},
                   Case{fsBold, 1}, Case{fsItalic, 2}, Case{0, 0}}) {
        SCOPED_TRACE(c.style);
        Pages[1].Texts[2].FontStyle = 7;
        ModalScript script;
        script.fontAnswers = {[&](TFont& font) {
            font.SetStyle(c.style);
            return true;
        }};
        DoubleClick(Form1->Memo2);
        EXPECT_EQ(script.fontDialogs, 1);
        // The text shows the style as chosen; the page keeps only the code.
        EXPECT_EQ(Form1->Memo2->Font()->Style(), c.style);
        EXPECT_EQ(Pages[1].Texts[2].FontStyle, c.code);
    }
}

TEST_F(Editing, TheFontDialogOffersTheFontOfItsLastOkForEveryText)
{
    ShowAllElements();
    ModalScript script;
    script.fontAnswers = {
        [](TFont& font) {
            // Before its first OK it holds the window's font, not the text's.
            EXPECT_EQ(font.Name(), "ＭＳ Ｐゴシック");
            EXPECT_EQ(font.Height(), -12);
            EXPECT_EQ(font.Color(), clWindowText);
            EXPECT_EQ(font.Charset(), SHIFTJIS_CHARSET);
            EXPECT_EQ(font.Style(), 0u);
            font.SetName("IPAMincho");
            font.SetSize(20);
            font.SetColor(0x0000FF);
            font.SetStyle(fsBold);
            return true;
        },
        [](TFont& font) {
            EXPECT_EQ(font.Name(), "IPAMincho");
            EXPECT_EQ(font.Size(), 20);
            return false;
        },
    };
    DoubleClick(Form1->Memo1);
    DoubleClick(Form1->Memo3);
    EXPECT_EQ(script.fontDialogs, 2);
    EXPECT_EQ(Form1->Memo1->Font()->Name(), "IPAMincho");
    EXPECT_EQ(Form1->Memo1->Font()->Color(), 0x0000FF);
    EXPECT_EQ(Pages[1].Texts[1].FontStyle, 1);
    // Cancel changes neither the text nor its code.
    EXPECT_EQ(Form1->Memo3->Font()->Name(), "ＭＳ Ｐゴシック");
    EXPECT_EQ(Pages[1].Texts[3].FontStyle, 0);
    // Face, size and colour reach the page when it is stored.
    EXPECT_NE(Pages[1].Texts[1].FontName, "IPAMincho");
    StoreEditorPage();
    EXPECT_EQ(Pages[1].Texts[1].FontName, "IPAMincho");
    EXPECT_EQ(Pages[1].Texts[1].FontSize, 20);
}

TEST_F(Editing, TheCaptionBoxStoresWhatTheButtonShows)
{
    ShowAllElements();
    ModalScript script;
    script.inputAnswers = {AnsiString(), std::nullopt};
    Click(Form1->Button8);
    ASSERT_EQ(script.inputs.size(), 1u);
    EXPECT_EQ(script.inputs[0].caption, "ﾎﾞﾀﾝの文字");
    EXPECT_EQ(script.inputs[0].prompt, "ﾎﾞﾀﾝの文字を入れてください");
    EXPECT_EQ(script.inputs[0].defaultValue, "ﾎﾞﾀﾝ2");
    EXPECT_EQ(Form1->Button8->Caption(), "");
    EXPECT_EQ(Pages[1].Buttons[2].Caption, "");
    // Cancel gives the default back: the layout's caption goes into the page as it is.
    Click(Form1->Button4);
    EXPECT_EQ(Form1->Button4->Caption(), "ﾎﾞﾀﾝ1");
    EXPECT_EQ(Pages[1].Buttons[1].Caption, "ﾎﾞﾀﾝ1");
}

TEST_F(Editing, TheSoundDialogStoresThePathWhole)
{
    Form1->CheckBox7->SetChecked(true);
    ASSERT_TRUE(Form1->Button5->Visible());
    std::filesystem::create_directory(tk::NativePath(folder_ / "音 楽"));
    const std::string sound = folder_ / "音 楽/any thing.txt";
    ModalScript script;
    script.fileAnswers = {sound, std::nullopt};
    Click(Form1->Button5);
    EXPECT_EQ(script.fileDialogs.at(0).title, "音をよみこみます");
    EXPECT_EQ(script.fileDialogs.at(0).filter,
              "wav;mid;avi;mp3(*.wav;*.mid;*.avi;*.mp3)|*.wav;*.mid;*.avi;*.mp3|all(*.*)|*.*");
    EXPECT_EQ(Pages[1].SoundFile, sound);
    EXPECT_EQ(Form1->Edit2->Text(), sound);
    Click(Form1->Button5);
    EXPECT_EQ(Pages[1].SoundFile, sound);
}

// The sound button and field show only in the contents mode with the sound box on; the box
// and the mode selector each keep that rule when the other one changes.
TEST_F(Editing, TheSoundControlsShowOnlyInTheContentsModeWithTheSoundBoxOn)
{
    auto soundControlsShown = [] { return Form1->Button5->Visible() && Form1->Edit2->Visible(); };
    auto soundControlsHidden = [] { return !Form1->Button5->Visible() && !Form1->Edit2->Visible(); };
    Pages[1].SoundFile = "song.wav";
    for (int mode : {2, 3}) {
        SetMode(mode);
        Form1->CheckBox7->SetChecked(true);
        EXPECT_TRUE(soundControlsHidden()) << "mode " << mode;
        SetMode(1);
        EXPECT_TRUE(soundControlsShown()) << "mode " << mode;
        SetMode(mode);
        EXPECT_TRUE(soundControlsHidden()) << "mode " << mode;
        Form1->CheckBox7->SetChecked(false);
    }
    SetMode(1); // with the box off nothing comes back
    EXPECT_TRUE(soundControlsHidden());
    Form1->CheckBox7->SetChecked(true);
    EXPECT_TRUE(soundControlsShown());
    EXPECT_EQ(Form1->Edit2->Text(), "song.wav");
    Form1->CheckBox7->SetChecked(false);
    EXPECT_TRUE(soundControlsHidden());
    EXPECT_EQ(Pages[1].SoundFile, "song.wav"); // only a store empties it
}

TEST_F(Editing, InPositionAndSizeModeClicksOpenNoDialog)
{
    ShowAllElements();
    SetMode(2);
    const datax before = Pages[1];
    Click(Form1->Image1);
    DoubleClick(Form1->Memo2);
    // A left drag of a button ends in a click on it.
    Press(Form1->Button4, mbLeft, 20, 20);
    MoveTo(Form1->Button4, 30, 25);
    Click(Form1->Button4);
    EXPECT_EQ(Pages[1], before);
    EXPECT_EQ(LinkElement, 1);
    EXPECT_FALSE(Form2->Visible());
    EXPECT_EQ(Form1->Button4->Width(), 30);
}

// ---------------------------------------------------------------------------------------------
// Link choice

TEST_F(Editing, JumpModeNamesTheElementAndTheLinkDialogLoadsItsLink)
{
    ShowAllElements();
    SetMode(3);
    struct Case {
        TControl* element;
        bool doubleClick;
        std::int32_t code;
    };
    for (Case c : {Case{Form1->Image1, false, 1}, Case{Form1->Image2, false, 2}, Case{Form1->Image3, false, 3},
                   Case{Form1->Memo1, true, 4}, Case{Form1->Memo3, true, 6}, Case{Form1->Button4, false, 8},
                   Case{Form1->Button8, false, 9}, Case{Form1->Memo2, true, 5}}) {
        if (c.doubleClick)
            DoubleClick(c.element);
        else
            Click(c.element);
        EXPECT_EQ(LinkElement, c.code);
    }
    // The dialog was brought up and edits text 2's link.
    Pages[1].Texts[2].Link = 37;
    Form1->Show();
    ASSERT_TRUE(WaitFor([] { return Form1->Active(); }));
    DoubleClick(Form1->Memo2);
    EXPECT_TRUE(Form2->Visible());
    EXPECT_TRUE(WaitFor([] { return Form2->Active() && Form2->SpinEdit1->Value() == 37; }));
}

// ---------------------------------------------------------------------------------------------
// The link dialog

class LinkDialog : public Editing {
protected:
    // Brings the dialog up for an element, as a jump-mode click does.
    static void OpenFor(std::int32_t elementCode)
    {
        LinkElement = elementCode;
        Form2->Show();
        ASSERT_TRUE(WaitFor([] { return Form2->Active(); }));
    }
};

TEST_F(LinkDialog, ACodeThatNamesNoElementKeepsTheFieldAndStoresOnlyTheValue)
{
    Form2->SpinEdit1->SetValue(12);
    const PageTable before = Pages;
    OpenFor(7);
    EXPECT_EQ(Form2->SpinEdit1->Value(), 12);
    Click(Form2->Button1);
    EXPECT_EQ(LinkValue, 12);
    EXPECT_FALSE(Form2->Visible());
    EXPECT_TRUE(Pages == before);
}

TEST_F(LinkDialog, ALinkOutOfRangeIsShownAndStoredWithinIt)
{
    Pages[1].Pictures[3].Link = 350;
    Pages[1].Buttons[2].Link = -5;
    OpenFor(3);
    EXPECT_EQ(Form2->SpinEdit1->Value(), 200);
    Click(Form2->Button1);
    EXPECT_EQ(Pages[1].Pictures[3].Link, 200);
    OpenFor(9);
    EXPECT_EQ(Form2->SpinEdit1->Value(), -1);
    Click(Form2->Button1);
    EXPECT_EQ(Pages[1].Buttons[2].Link, -1);
    EXPECT_EQ(LinkValue, -1);
}

TEST_F(LinkDialog, TypedValuesAreHeldToTheRangeAsTheFocusLeavesForTheButton)
{
    OpenFor(4);
    Form2->SpinEdit1->SetFocus();
    ASSERT_TRUE(WaitFor([] { return Form2->SpinEdit1->Focused(); }));
    probe::TypeOver(Form2->SpinEdit1, "999");
    Click(Form2->Button1);
    EXPECT_EQ(Pages[1].Texts[1].Link, 200);

    // An empty field reads as -1: the element ends the work.
    OpenFor(5);
    Form2->SpinEdit1->SetFocus();
    ASSERT_TRUE(WaitFor([] { return Form2->SpinEdit1->Focused(); }));
    probe::TypeOver(Form2->SpinEdit1, "\b");
    ASSERT_EQ(Form2->SpinEdit1->Text(), "");
    Click(Form2->Button1);
    EXPECT_EQ(Pages[1].Texts[2].Link, -1);
}

TEST_F(LinkDialog, ComingBackToTheDialogLoadsTheLinkAgain)
{
    Pages[1].Pictures[1].Link = 8;
    Form1->Show();
    OpenFor(1);
    probe::TypeOver(Form2->SpinEdit1, "77");
    Form1->Show();
    ASSERT_TRUE(WaitFor([] { return Form1->Active(); }));
    EXPECT_EQ(Form2->SpinEdit1->Value(), 77);
    Form2->Show();
    EXPECT_TRUE(WaitFor([] { return Form2->Active() && Form2->SpinEdit1->Value() == 8; }));
}

TEST_F(LinkDialog, EveryActivationPutsTheTypingInTheFieldOverItsWholeText)
{
    Pages[1].Pictures[1].Link = 8;
    Pages[1].Pictures[2].Link = 15;
    OpenFor(1);
    Click(Form2->Button1); // the button takes the focus, and the dialog goes
    OpenFor(2);
    EXPECT_TRUE(Form2->SpinEdit1->Focused());
    probe::TypeIntoFocus("42");
    Click(Form2->Button1);
    EXPECT_EQ(Pages[1].Pictures[2].Link, 42);
}

TEST_F(LinkDialog, TheCloseBoxStoresNothing)
{
    LinkValue = 3;
    OpenFor(2);
    probe::TypeOver(Form2->SpinEdit1, "50");
    probe::PressCloseBox(Form2);
    EXPECT_FALSE(Form2->Visible());
    EXPECT_EQ(Pages[1].Pictures[2].Link, 0);
    EXPECT_EQ(LinkValue, 3);
}

} // namespace
