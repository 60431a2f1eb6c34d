// The two save variants: names without folders, and names moved into a typed folder.
#include "editorprogram.h"
#include "modal.h"
#include "workfile.h"

#include <gtest/gtest.h>

namespace {

using testing_files::ReadBytes;

std::vector<std::string> Lines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(bytes.substr(start, end - start));
    return lines;
}

class SaveVariants : public ::testing::Test {
protected:
    void SetUp() override
    {
        Pages[1].Pictures[1].FileName = "C:\\pics\\cat.bmp";
        Pages[1].Pictures[2].FileName = "C:\\表\\dog.bmp";
        Pages[1].Pictures[3].FileName = "C:\\pics\\";
        Pages[1].SoundFile = "C:\\snd\\song.wav";
        Pages[2].Pictures[1].FileName = "表.bmp";
        Pages[2].SoundFile = "C:cat.wav";
        ShowEditorPage(1); // the sound box follows page 1's sound
    }

    // The lines of the file the plain save writes now, to compare with.
    std::vector<std::string> PlainLines()
    {
        const std::string plain = folder_ / "plain.kse";
        WriteWorkFile(plain, NameAsHeld, Form1->Width(), Form1->Height());
        return Lines(ReadBytes(plain));
    }

    EditorProgram program_;
    const testing_files::ScratchFolder& folder_ = program_.Folder();
};

// Page block line numbers (0-based in the file) of the four name lines of page p, for pages
// whose texts have one line each.
std::vector<std::size_t> NameLines(int p)
{
    std::size_t block = 2 + 72 * static_cast<std::size_t>(p - 1);
    return {block, block + 7, block + 14, block + 71};
}

TEST_F(SaveVariants, WithoutFoldersOnlyTheNameLinesDiffer)
{
    ModalScript script;
    script.messageAnswers = {mrOk};
    script.fileAnswers = {AnsiString("copy")};
    WorkFileName = "work.kse";
    Form1->Edit1->SetText("work.kse");
    Form1->Button9Click(nullptr);
    EXPECT_EQ(script.messages.at(0).text, "さくひんのパスを取ってほぞんします");

    const std::string copy = folder_ / "copy.kse";
    EXPECT_EQ(DialogFileName, copy);
    EXPECT_EQ(WorkFileName, "work.kse");
    EXPECT_EQ(Form1->Edit1->Text(), "work.kse");
    EXPECT_EQ(Pages[1].Pictures[1].FileName, "C:\\pics\\cat.bmp");

    auto written = Lines(ReadBytes(copy));
    auto plain = PlainLines();
    ASSERT_EQ(written.size(), plain.size());
    auto names = NameLines(1);
    EXPECT_EQ(written[names[0]], "cat.bmp");
    EXPECT_EQ(written[names[1]], "dog.bmp");
    EXPECT_EQ(written[names[2]], "");
    EXPECT_EQ(written[names[3]], "song.wav");
    auto names2 = NameLines(2);
    EXPECT_EQ(written[names2[0]], "表.bmp");
    EXPECT_EQ(written[names2[3]], "C:cat.wav");
    for (std::size_t i = 0; i < plain.size(); ++i) {
        bool isName = false;
        for (int p : {1, 2})
            for (std::size_t n : NameLines(p))
                isName = isName || n == i;
        if (!isName) {
            EXPECT_EQ(written[i], plain[i]) << "line " << i;
        }
    }
}

TEST_F(SaveVariants, IntoANewFolderJoinsTheTypedFolderAsItIs)
{
    ModalScript script;
    script.messageAnswers = {mrOk};
    script.inputAnswers = {AnsiString("E:\\story")};
    script.fileAnswers = {AnsiString("moved.kse")};
    Form1->Button10Click(nullptr);
    ASSERT_EQ(script.inputs.size(), 1u);
    EXPECT_EQ(script.inputs[0].caption, "あたらしいパスのしてい");
    EXPECT_EQ(script.inputs[0].prompt, "あたらしいパスを入れてください(最後の\\は不要) ");
    EXPECT_EQ(script.inputs[0].defaultValue, "");
    EXPECT_EQ(script.inputs[0].maxLength, 255);

    auto written = Lines(ReadBytes(folder_ / "moved.kse"));
    auto names = NameLines(1);
    EXPECT_EQ(written[names[0]], "E:\\story\\cat.bmp");
    EXPECT_EQ(written[names[1]], "E:\\story\\dog.bmp");
    EXPECT_EQ(written[names[2]], "");
    EXPECT_EQ(written[names[3]], "E:\\story\\song.wav");
    EXPECT_EQ(written[NameLines(2)[0]], "E:\\story\\表.bmp");
    EXPECT_EQ(written[NameLines(2)[3]], "E:\\story\\C:cat.wav");
}

TEST_F(SaveVariants, ACancelledInputBoxStillSavesWithALeadingBackslash)
{
    ModalScript script;
    script.messageAnswers = {mrOk};
    script.inputAnswers = {std::nullopt};
    script.fileAnswers = {AnsiString("moved.kse")};
    Form1->Button10Click(nullptr);
    auto written = Lines(ReadBytes(folder_ / "moved.kse"));
    EXPECT_EQ(written[NameLines(1)[0]], "\\cat.bmp");
}

TEST_F(SaveVariants, CancellingTheQuestionOrTheDialogChangesNothing)
{
    Form1->CheckBox1->SetChecked(true); // an edit not yet stored
    for (int step = 0; step < 2; ++step) {
        ModalScript script;
        script.messageAnswers = {step == 0 ? mrCancel : mrOk};
        if (step == 1)
            script.fileAnswers = {std::nullopt};
        Form1->Button9Click(nullptr);
        EXPECT_EQ(script.fileDialogs.size(), static_cast<std::size_t>(step));
    }
    EXPECT_FALSE(Pages[1].Pictures[1].Visible);
    EXPECT_TRUE(DialogFileName.empty());
    EXPECT_EQ(folder_.Entries().size(), 1u); // mascot.bmp only
}

TEST_F(SaveVariants, TheStoreComesAfterTheDialogAndAnUncheckedSoundIsWrittenEmpty)
{
    Form1->CheckBox7->SetChecked(false);
    ModalScript script;
    script.messageAnswers = {mrOk};
    script.fileAnswers = {AnsiString("copy.kse")};
    Form1->Button9Click(nullptr);
    EXPECT_TRUE(Pages[1].SoundFile.empty());
    auto written = Lines(ReadBytes(folder_ / "copy.kse"));
    EXPECT_EQ(written[NameLines(1)[3]], "");
    // The next save dialog offers the path just written.
    ModalScript next;
    next.fileAnswers = {std::nullopt};
    Form1->Button3Click(nullptr);
    EXPECT_EQ(next.fileDialogs.at(0).fileName, folder_ / "copy.kse");
}

} // namespace
