// The work file: its exact lines, round trips of every field, the reading rules for odd
// lines, files cut short, failed saves, and the file-name mapping of the save variants.
#include "filetesting.h"
#include "workfile.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using testing_files::ErrorCodeOf;
using testing_files::ReadBytes;
using testing_files::ScratchFolder;
using testing_files::WriteBytes;
using Lines = std::vector<std::string>;

constexpr int kBlockLines = 72; // a page block whose texts have one line each

Lines SplitLines(const std::string& bytes)
{
    Lines lines;
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(bytes.substr(start, end - start));
    return lines;
}

std::string JoinLines(const Lines& lines)
{
    std::string bytes;
    for (const auto& line : lines)
        bytes += line + "\r\n";
    return bytes;
}

class WorkFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAllPages();
        WorkWidth = DefaultWorkWidth;
        WorkHeight = DefaultWorkHeight;
    }

    // The lines a new work writes, without touching the table.
    Lines DefaultLines()
    {
        const auto saved = std::make_unique<PageTable>(Pages);
        ResetAllPages();
        WriteWorkFile(path, NameAsHeld, DefaultWorkWidth, DefaultWorkHeight);
        Pages = *saved;
        return SplitLines(ReadBytes(path));
    }

    // Reads a file with these bytes and expects it to fail with the code, changing nothing.
    void ExpectReadFails(const std::string& bytes, int code)
    {
        Pages[2].Texts[1].Text = "まえの さくひん";
        WorkWidth = 1234;
        WorkHeight = 987;
        const auto before = std::make_unique<PageTable>(Pages);
        WriteBytes(path, bytes);
        EXPECT_EQ(ErrorCodeOf([&] { ReadWorkFile(path); }), code);
        EXPECT_TRUE(Pages == *before);
        EXPECT_EQ(WorkWidth, 1234);
        EXPECT_EQ(WorkHeight, 987);
    }

    ScratchFolder scratch;
    const std::string path = scratch / "work.kse";
};

TEST_F(WorkFile, NewWorkWritesTheDefaultLinesAndReadsBack)
{
    WriteWorkFile(path, NameAsHeld, 792, 568);
    const std::string bytes = ReadBytes(path);
    const Lines lines = SplitLines(bytes);

    ASSERT_EQ(lines.size(), 2u + 200 * kBlockLines);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 14402);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\r'), 14402);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    EXPECT_EQ(lines[0], "792");
    EXPECT_EQ(lines[1], "568");

    const Lines firstBlock = {
        "", "F", "16", "81", "8", "81", "0",
        "", "F", "114", "81", "8", "81", "0",
        "", "F", "212", "81", "8", "81", "0",
        "文１", "*", "F", "16", "137", "104", "129", "0", "ＭＳ明朝", "10", "0", "0",
        "文２", "*", "F", "16", "137", "248", "129", "0", "ＭＳ明朝", "10", "0", "0",
        "文３", "*", "F", "16", "137", "392", "129", "0", "ＭＳ明朝", "10", "0", "0",
        "F", "0", "ﾎﾞﾀﾝ1", "472", "33", "24", "57",
        "F", "0", "ﾎﾞﾀﾝ2", "472", "33", "96", "65",
        "",
    };
    for (int page = 0; page < 200; ++page)
        ASSERT_EQ(Lines(lines.begin() + 2 + page * kBlockLines, lines.begin() + 2 + (page + 1) * kBlockLines),
                  firstBlock) << "page " << page + 1;

    Pages[1].Texts[1].Text = "ちがう";
    Pages[200].SoundFile = "x.wav";
    WorkWidth = WorkHeight = 1;
    ReadWorkFile(path);
    const auto defaults = std::make_unique<PageTable>();
    ResetAllPages(*defaults);
    EXPECT_TRUE(Pages == *defaults);
    EXPECT_EQ(WorkWidth, 792);
    EXPECT_EQ(WorkHeight, 568);
}

TEST_F(WorkFile, EveryFieldRoundTripsByteForByte)
{
    datax& page = Pages[7];
    page.Pictures[1] = {"C:\\表\\cat.bmp", true, -5, 0, 2147483647, -2147483647 - 1, 500};
    page.Pictures[2] = {"", false, 1, 2, 3, 4, -7};
    page.Pictures[3] = {"ソ.jpg", true, 9, 8, 7, 6, -1};
    page.Texts[1] = {"A\r\nB", true, 1, 2, 3, 4, -2147483640, "表示", 72, 7, 500};
    page.Texts[2] = {"", true, 0, 0, 0, 0, 0x00FF8000, "", -1, 2, -7};
    page.Texts[3] = {"\r\n  まん中 \r\n\r\n", false, 5, 6, 7, 8, 255, " ＭＳ ゴシック ", 0, 1, 3};
    page.Buttons[1] = {true, -7, "", 1, 2, 3, 4};
    page.Buttons[2] = {true, 500, " つぎへ ", 400, 30, 100, 80};
    page.SoundFile = "C:\\音\\a b.wav";
    Pages[200].Texts[3].Text = "さいご\r\n**\r\n *";
    const auto saved = std::make_unique<PageTable>(Pages);

    WriteWorkFile(path, NameAsHeld, 800, 600);
    EXPECT_EQ(WorkWidth, 800);
    EXPECT_EQ(WorkHeight, 600);
    const std::string first = ReadBytes(path);
    const Lines lines = SplitLines(first);
    const std::size_t text1 = 2 + 6 * kBlockLines + 21;
    EXPECT_EQ(Lines(lines.begin() + text1, lines.begin() + text1 + 4), (Lines{"A", "B", "*", "T"}));
    EXPECT_EQ(lines[text1 + 8], "-2147483640");
    EXPECT_EQ(Lines(lines.begin() + text1 + 13, lines.begin() + text1 + 15), (Lines{"", "*"}));

    ResetAllPages();
    WorkWidth = WorkHeight = 0;
    ReadWorkFile(path);
    EXPECT_TRUE(Pages == *saved);
    EXPECT_EQ(Pages[7], (*saved)[7]);
    EXPECT_EQ(WorkWidth, 800);
    EXPECT_EQ(WorkHeight, 600);

    WriteWorkFile(path, NameAsHeld, 800, 600);
    EXPECT_TRUE(ReadBytes(path) == first); // not EXPECT_EQ: a diff of two whole files takes seconds
}

TEST_F(WorkFile, IntegerLines)
{
    Lines lines = DefaultLines();
    const std::pair<std::string, std::int32_t> good[] = {
        {"12 34", 12}, {"   7", 7}, {"\t+5\t", 5}, {"$10", 16}, {"0x10", 16}, {"X1f", 31},
        {"$FFFFFFFF", -1}, {"$00000000010", 16}, {"-2147483648", -2147483647 - 1},
        {"2147483647", 2147483647}, {"007", 7},
        // Only the first 32 characters of a run count; the rest of its line is passed over.
        {std::string(31, '0') + "7", 7}, {std::string(32, '0') + "7", 0}, {"-" + std::string(31, '0') + "7", 0},
        {"$" + std::string(40, '0') + "1", 0},
    };
    for (const auto& [line, value] : good) {
        lines[0] = line;
        WriteBytes(path, JoinLines(lines));
        ReadWorkFile(path);
        EXPECT_EQ(WorkWidth, value) << line;
    }
    for (const char* line : {"12abc", "1.5", "2147483648", "-2147483649", "$", "0x", "$123456789", "-$10",
                             "+", "１２"}) {
        lines[0] = line;
        SCOPED_TRACE(line);
        ExpectReadFails(JoinLines(lines), 106);
    }
    try {
        lines[0] = "12abc";
        WriteBytes(path, JoinLines(lines));
        ReadWorkFile(path);
        FAIL() << "no error";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.Message, "入力値が数値ではありません");
    }
}

TEST_F(WorkFile, FlagIsSetOnlyByTheLineT)
{
    Lines lines = DefaultLines();
    const std::pair<std::string, bool> cases[] = {
        {"T", true}, {"t", false}, {"T ", false}, {"TRUE", false}, {"", false}, {"F", false},
    };
    for (const auto& [line, expected] : cases) {
        lines[3] = line; // picture 1 Visible of page 1
        WriteBytes(path, JoinLines(lines));
        ReadWorkFile(path);
        EXPECT_EQ(Pages[1].Pictures[1].Visible, expected) << '"' << line << '"';
    }
}

TEST_F(WorkFile, EmptyLinesWhereNumberBelongsArePassedOver)
{
    Lines lines = DefaultLines();
    lines.insert(lines.begin() + 4, {"", "   "}); // before picture 1 Top
    WriteBytes(path, JoinLines(lines));
    ReadWorkFile(path);
    EXPECT_EQ(Pages[1].Pictures[1].Top, 16);
    EXPECT_EQ(Pages[1].Pictures[2].Top, 114);

    // In place of the width: the height is read as the width and everything after one line
    // late, here until a stray line puts the rest back in step.
    lines = DefaultLines();
    lines[0] = "";
    lines.insert(lines.begin() + 2, "600");
    WriteBytes(path, JoinLines(lines));
    ReadWorkFile(path);
    EXPECT_EQ(WorkWidth, 568);
    EXPECT_EQ(WorkHeight, 600);
    EXPECT_EQ(Pages[1].Pictures[1].Top, 16);

    // Without the stray line the shift runs into a flag line.
    lines.erase(lines.begin() + 2);
    ExpectReadFails(JoinLines(lines), 106);
}

TEST_F(WorkFile, FileCutShortChangesNothing)
{
    const std::string whole = JoinLines(DefaultLines());
    const std::size_t lastTextEnd = whole.rfind("*\r\n");
    const std::string trimmed = whole.substr(0, whole.size() - 2); // without the last, empty line
    const std::string withoutLastInteger = trimmed.substr(0, trimmed.rfind("\r\n", trimmed.size() - 3) + 2);
    for (const std::string& cut : {std::string(), std::string("792\r\n568\r\n"), whole.substr(0, 300),
                                   whole.substr(0, lastTextEnd), withoutLastInteger}) {
        SCOPED_TRACE(cut.size());
        ExpectReadFails(cut, 100);
    }
}

TEST_F(WorkFile, AStringLinePastTheEndReadsAsEmpty)
{
    // What a text editor leaves that trims the file's last, empty line (page 200's sound).
    Pages[200].SoundFile = "old.wav";
    const std::string whole = JoinLines(DefaultLines());
    WriteBytes(path, whole.substr(0, whole.size() - 2));
    ReadWorkFile(path);
    EXPECT_EQ(Pages[200].SoundFile, "");
    EXPECT_EQ(Pages[200].Buttons[2].Width, 65);
}

TEST_F(WorkFile, AFileFarBeyondAnyWorkIsRefusedBeforeItIsRead)
{
    WriteBytes(path, "");
    ASSERT_EQ(truncate(path.c_str(), 300 * 1024 * 1024), 0); // sparse: takes no disk space
    Pages[2].Texts[1].Text = "まえの さくひん";
    const auto before = std::make_unique<PageTable>(Pages);
    try {
        ReadWorkFile(path);
        FAIL() << "no error";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.Message, "ファイルが大きすぎて よみこめません");
    }
    EXPECT_TRUE(Pages == *before);
}

TEST_F(WorkFile, MissingFileChangesNothing)
{
    WorkWidth = 1234;
    const auto before = std::make_unique<PageTable>(Pages);
    try {
        ReadWorkFile(path);
        FAIL() << "no error";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.ErrorCode, 2);
        EXPECT_EQ(error.Message, "ファイルが見つかりません");
    }
    EXPECT_EQ(WorkWidth, 1234);
    EXPECT_TRUE(Pages == *before);
}

TEST_F(WorkFile, FailedSavesKeepTheOldFile)
{
    WriteBytes(path, "old work");
    chmod(path.c_str(), 0444);
    EXPECT_EQ(ErrorCodeOf([&] { WriteWorkFile(path, NameAsHeld, 640, 480); }), 5);
    EXPECT_EQ(ReadBytes(path), "old work");
    EXPECT_EQ(WorkWidth, DefaultWorkWidth); // the file was never opened
    EXPECT_EQ(ErrorCodeOf([&] { WriteWorkFile(scratch / "gone/work.kse", NameAsHeld, 640, 480); }), 3);

    chmod(path.c_str(), 0644);
    {
        testing_files::FileSizeLimit limit(20000); // far less than a work file
        EXPECT_EQ(ErrorCodeOf([&] { WriteWorkFile(path, NameAsHeld, 640, 480); }), 112);
    }
    EXPECT_EQ(ReadBytes(path), "old work");
    EXPECT_EQ(scratch.Entries(), std::vector<std::string>{"work.kse"});
}

TEST_F(WorkFile, TextWithLineThatIsOnlyTheEndMarkerIsRefused)
{
    EXPECT_EQ(FindUnsavableField(Pages, NameAsHeld), std::nullopt);
    Pages[3].Texts[2].Text = "A\r\n*\r\nB";
    Pages[9].Texts[1].Text = "*";
    EXPECT_EQ(FindUnsavableField(Pages, NameAsHeld), "3ページの 文２ に「*」だけの ぎょうが あるので ほぞんできません");
    Pages[3].Texts[2].Text = "A\n*";
    EXPECT_EQ(FindUnsavableField(Pages, NameAsHeld), "3ページの 文２ に「*」だけの ぎょうが あるので ほぞんできません");
    Pages[3].Texts[2].Text = "* \r\n**\r\n*\r";
    EXPECT_EQ(FindUnsavableField(Pages, NameAsHeld), "9ページの 文１ に「*」だけの ぎょうが あるので ほぞんできません");

    WorkWidth = 1;
    EXPECT_THROW(WriteWorkFile(path, NameAsHeld, 640, 480), Exception);
    EXPECT_TRUE(scratch.Entries().empty());
    EXPECT_EQ(WorkWidth, 1);
}

TEST_F(WorkFile, ALineBreakInAOneLineFieldIsRefusedAsItWouldBeWritten)
{
    struct Case {
        std::function<void()> set;
        const char* warning;
    };
    const Case cases[] = {
        {[] { Pages[4].Buttons[1].Caption = "いち\r\nに"; }, "4ページの ボタン1 の 文字に かいぎょうが あるので ほぞんできません"},
        {[] { Pages[5].Buttons[2].Caption = "a\rb"; }, "5ページの ボタン２ の 文字に かいぎょうが あるので ほぞんできません"},
        {[] { Pages[6].Texts[3].FontName = "ＭＳ\n明朝"; }, "6ページの 文３ の フォントのなまえに かいぎょうが あるので ほぞんできません"},
        {[] { Pages[7].Pictures[2].FileName = "/home/kim/a\nb.bmp"; }, "7ページの 絵２ の ファイルのなまえに かいぎょうが あるので ほぞんできません"},
        {[] { Pages[8].SoundFile = "s\n.wav"; }, "8ページの 音 の ファイルのなまえに かいぎょうが あるので ほぞんできません"},
    };
    WriteBytes(path, "old work");
    for (const Case& c : cases) {
        ResetAllPages();
        c.set();
        EXPECT_EQ(FindUnsavableField(Pages, NameAsHeld), c.warning);
        EXPECT_THROW(WriteWorkFile(path, NameAsHeld, 640, 480), Exception);
    }
    EXPECT_EQ(ReadBytes(path), "old work");
    EXPECT_EQ(scratch.Entries(), std::vector<std::string>{"work.kse"});

    // File names are judged as the mapping writes them: the folders may go, or come in.
    ResetAllPages();
    Pages[3].Pictures[1].FileName = "/home/a\nb/cat.bmp";
    EXPECT_EQ(FindUnsavableField(Pages, BaseName), std::nullopt);
    Pages[3].Pictures[1].FileName = "cat.bmp";
    const FileNameMapping intoFolder = [](const AnsiString& name) {
        return BaseName(name).empty() ? AnsiString() : "E:\r\n\\" + BaseName(name);
    };
    EXPECT_EQ(FindUnsavableField(Pages, intoFolder), "3ページの 絵１ の ファイルのなまえに かいぎょうが あるので ほぞんできません");
}

TEST(BaseName, PartAfterTheLastSeparator)
{
    EXPECT_EQ(BaseName("C:\\pics\\cat.bmp"), "cat.bmp");
    EXPECT_EQ(BaseName("cat.bmp"), "cat.bmp");
    EXPECT_EQ(BaseName("C:cat.bmp"), "C:cat.bmp");
    EXPECT_EQ(BaseName("C:\\pics\\"), "");
    EXPECT_EQ(BaseName(""), "");
    EXPECT_EQ(BaseName("C:\\表\\cat.bmp"), "cat.bmp");
    EXPECT_EQ(BaseName("表.bmp"), "表.bmp");
    EXPECT_EQ(BaseName("\\\\server\\share\\ソ"), "ソ");
    EXPECT_EQ(BaseName("/home/kim/dog.jpg"), "dog.jpg");
}

TEST_F(WorkFile, MappingChangesOnlyTheWrittenNames)
{
    Pages[1].Pictures[1].FileName = "C:\\pics\\cat.bmp";
    Pages[1].Pictures[3].FileName = "C:\\pics\\";
    Pages[1].SoundFile = "/home/kim/表.wav";
    Pages[1].Texts[1].FontName = "C:\\font";
    WriteWorkFile(path, BaseName, 792, 568);
    const Lines lines = SplitLines(ReadBytes(path));
    EXPECT_EQ(lines[2], "cat.bmp");
    EXPECT_EQ(lines[2 + 14], "");
    EXPECT_EQ(lines[2 + 29], "C:\\font");
    EXPECT_EQ(lines[2 + kBlockLines - 1], "表.wav");
    EXPECT_EQ(Pages[1].Pictures[1].FileName, "C:\\pics\\cat.bmp");
    EXPECT_EQ(Pages[1].SoundFile, "/home/kim/表.wav");
}

} // namespace
