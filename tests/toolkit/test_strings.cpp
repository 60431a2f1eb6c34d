// Code page 932 conversion, held paths, run-time error messages and Format.
#include "filetesting.h"
#include "sysutils.h"

#include <gtest/gtest.h>

namespace {

// 表 and ソ end in 0x5C, the byte of "\".
const std::string kHyou = "\x95\x5C";
const std::string kSo = "\x83\x5C";

TEST(Cp932Conversion, DoubleByteCharactersEndingInBackslashByte)
{
    EXPECT_EQ(tk::FromUtf8("表ソ\\~"), kHyou + kSo + "\\~");
    EXPECT_EQ(tk::ToUtf8(kHyou + kSo + "\\~"), "表ソ\\~");
}

TEST(Cp932Conversion, RoundTripsJapaneseAndHalfWidthKatakana)
{
    const std::string text = "ﾎﾞﾀﾝ1 ＭＳ明朝 さくひん\r\n文２";
    const AnsiString held = tk::FromUtf8(text);
    EXPECT_EQ(held.substr(0, 5), "\xCE\xDE\xC0\xDD" "1");
    EXPECT_EQ(tk::ToUtf8(held), text);
}

TEST(Cp932Conversion, CharactersCp932CannotHoldBecomeQuestionMarks)
{
    EXPECT_EQ(tk::FromUtf8("a😀b"), "a?b");
    EXPECT_EQ(tk::FromUtf8("é表"), "?" + kHyou);
}

TEST(Cp932Conversion, MalformedInputNeitherCrashesNorHangs)
{
    EXPECT_EQ(tk::FromUtf8("a\xFF" "b"), "a?b");
    EXPECT_EQ(tk::FromUtf8("a\xE8\xA1"), "a?");          // cut inside a character
    EXPECT_EQ(tk::ToUtf8("a\x95"), "a?");                // lead byte at the end
    EXPECT_EQ(tk::ToUtf8("\x95\n"), "?\n");              // lead byte before a line end
    EXPECT_EQ(tk::ToUtf8("\x80" "a\xFD"), "?a?");        // bytes no character starts with
    EXPECT_EQ(tk::ToUtf8("\x85\x40" "a"), "?a");         // unassigned double-byte code
}

TEST(Cp932Conversion, LongStringsConvertWhole)
{
    std::string utf8;
    for (int i = 0; i < 5000; ++i)
        utf8 += "ｱ表x";
    const AnsiString held = tk::FromUtf8(utf8);
    EXPECT_EQ(held.size(), 5000u * 4);
    EXPECT_EQ(tk::ToUtf8(held), utf8);
    const std::string ascii(100000, 'q');
    EXPECT_EQ(tk::FromUtf8(ascii), ascii);
}

TEST(HeldPaths, BackslashesStandingAloneBecomeSlashes)
{
    EXPECT_EQ(tk::NativePath("C:\\pics\\cat.bmp"), "C:/pics/cat.bmp");
    EXPECT_EQ(tk::NativePath("/home/kim\\mascot.bmp"), "/home/kim/mascot.bmp");
    EXPECT_EQ(tk::NativePath("\\" + kHyou + "\\" + kSo + ".bmp"), "/表/ソ.bmp");
    EXPECT_EQ(tk::NativePath(kHyou + "\\\\x"), "表//x");
}

TEST(HeldPaths, FileNameAndExtension)
{
    EXPECT_EQ(tk::ExtractFileName("C:\\pics\\cat.bmp"), "cat.bmp");
    EXPECT_EQ(tk::ExtractFileName("/tmp/a/dog.JPG"), "dog.JPG");
    EXPECT_EQ(tk::ExtractFileName("C:\\" + kHyou + "\\cat.bmp"), "cat.bmp");
    EXPECT_EQ(tk::ExtractFileName(kHyou + ".bmp"), kHyou + ".bmp");
    EXPECT_EQ(tk::ExtractFileName("C:\\pics\\"), "");
    EXPECT_EQ(tk::ExtractFileExt("/tmp/a/dog.JPG"), ".JPG");
    EXPECT_EQ(tk::ExtractFileExt("a.b\\c"), "");
    EXPECT_EQ(tk::ExtractFileExt("x.tar.gz"), ".gz");
    EXPECT_EQ(tk::ExtractFileExt(kSo), "");
}

TEST(HeldPaths, CurrentFolderWithJapaneseName)
{
    testing_files::ScratchFolder scratch;
    std::filesystem::create_directory(scratch.Path() / "さくひん");
    const AnsiString before = tk::GetCurrentDir();
    const AnsiString folder = tk::FromUtf8(scratch.Path().string()) + "\\" + tk::FromUtf8("さくひん");

    ASSERT_TRUE(tk::SetCurrentDir(folder));
    const AnsiString now = tk::GetCurrentDir();
    ASSERT_TRUE(tk::SetCurrentDir(before));

    EXPECT_EQ(tk::ToUtf8(now), (scratch.Path() / "さくひん").string());
    EXPECT_FALSE(tk::SetCurrentDir(folder + "\\nothing"));
    EXPECT_EQ(tk::GetCurrentDir(), before);
}

TEST(RunTimeErrors, MessagesInJapanese)
{
    const std::pair<int, const char*> cases[] = {
        {2, "ファイルが見つかりません"},
        {3, "不正なファイル名です"},
        {4, "オープンしたファイルが多すぎます"},
        {5, "ファイルへのアクセスが拒否されました"},
        {106, "入力値が数値ではありません"},
        {32, "I/O エラー (32)"},
        {100, "I/O エラー (100)"},
    };
    for (const auto& [code, message] : cases) {
        const EInOutError error = InOutError(code);
        EXPECT_EQ(error.ErrorCode, code);
        EXPECT_EQ(error.Message, tk::FromUtf8(message)) << code;
    }
}

TEST(Format, ReplacesOneArgument)
{
    EXPECT_EQ(tk::Format(tk::FromUtf8("ファイル %s は開けません"), "a.bmp"), tk::FromUtf8("ファイル a.bmp は開けません"));
    EXPECT_EQ(tk::Format("%d%% of %d", 40), "40% of %d");
    EXPECT_EQ(tk::Format("%s", kSo), kSo);
}

} // namespace
