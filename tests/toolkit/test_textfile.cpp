// Whole-file reading and safe replacement: exact bytes, error codes, and the old file kept
// whole whenever a save goes wrong.
#include "filetesting.h"
#include "textfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using testing_files::ErrorCodeOf;
using testing_files::ReadBytes;
using testing_files::ScratchFolder;
using testing_files::WriteBytes;

const std::string kBinary = std::string("a\r\nb\0c\x95\x5C\n", 9);

TEST(ReadFileBytes, ReadsEveryByte)
{
    ScratchFolder scratch;
    WriteBytes(scratch / "f.kse", kBinary);
    EXPECT_EQ(tk::ReadFileBytes(scratch / "f.kse"), kBinary);

    std::filesystem::create_directory(scratch.Path() / "sub");
    const std::string big(300000, 'x');
    WriteBytes(scratch / "sub/big", big);
    EXPECT_EQ(tk::ReadFileBytes(tk::FromUtf8(scratch.Path().string()) + "\\sub\\big"), big);
    WriteBytes(scratch / "empty", "");
    EXPECT_EQ(tk::ReadFileBytes(scratch / "empty"), "");
}

TEST(ReadFileBytes, ErrorCodes)
{
    ScratchFolder scratch;
    try {
        tk::ReadFileBytes(scratch / "missing.kse");
        FAIL() << "no error";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.ErrorCode, 2);
        EXPECT_EQ(error.Message, tk::FromUtf8("ファイルが見つかりません"));
    }
    EXPECT_EQ(ErrorCodeOf([&] { tk::ReadFileBytes(scratch / "nofolder/a.kse"); }), 3);
    EXPECT_EQ(ErrorCodeOf([&] { tk::ReadFileBytes(""); }), 3);
    EXPECT_EQ(ErrorCodeOf([&] { tk::ReadFileBytes(scratch.Path().string()); }), 5);
    ASSERT_EQ(mkfifo((scratch / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(ErrorCodeOf([&] { tk::ReadFileBytes(scratch / "pipe"); }), 5);
}

TEST(SafeFileWriter, ReplacesFileKeepingItsPermissions)
{
    ScratchFolder scratch;
    const std::string path = scratch / "work.kse";
    WriteBytes(path, "old contents that are longer than the new ones");
    chmod(path.c_str(), 0640);

    std::string expected;
    {
        tk::SafeFileWriter writer(path);
        for (int i = 0; i < 20000; ++i) { // many small writes, past the buffer several times
            writer.Write("line\r\n");
            expected += "line\r\n";
        }
        writer.Write(kBinary);
        writer.Write(std::string(200000, 'z')); // one write larger than the buffer
        expected += kBinary + std::string(200000, 'z');
        EXPECT_EQ(ReadBytes(path), "old contents that are longer than the new ones");
        writer.Commit();
    }
    EXPECT_EQ(ReadBytes(path), expected);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(scratch.Entries(), std::vector<std::string>{"work.kse"});
}

TEST(SafeFileWriter, CreatesNewFileAndLeavesNothingWhenAbandoned)
{
    ScratchFolder scratch;
    {
        tk::SafeFileWriter writer(scratch / "new.kse");
        writer.Write("abc");
    }
    EXPECT_TRUE(scratch.Entries().empty());
    {
        tk::SafeFileWriter writer(scratch / "new.kse");
        writer.Write("abc");
        writer.Commit();
        EXPECT_EQ(ErrorCodeOf([&] { writer.Write("more"); }), 103);
    }
    EXPECT_EQ(ReadBytes(scratch / "new.kse"), "abc");
}

TEST(SafeFileWriter, RefusesReadOnlyFileFoldersAndMissingFolders)
{
    ScratchFolder scratch;
    const std::string path = scratch / "locked.kse";
    WriteBytes(path, "keep me");
    chmod(path.c_str(), 0444); // read-only even for root, who passes every permission check
    EXPECT_EQ(ErrorCodeOf([&] { tk::SafeFileWriter writer(path); }), 5);
    EXPECT_EQ(ReadBytes(path), "keep me");

    EXPECT_EQ(ErrorCodeOf([&] { tk::SafeFileWriter writer(scratch / "nofolder/a.kse"); }), 3);
    EXPECT_EQ(ErrorCodeOf([&] { tk::SafeFileWriter writer(scratch.Path().string()); }), 5);
    EXPECT_EQ(ErrorCodeOf([&] { tk::SafeFileWriter writer(scratch / "locked.kse/x"); }), 3);
    EXPECT_EQ(scratch.Entries(), std::vector<std::string>{"locked.kse"});
}

TEST(SafeFileWriter, SavingThroughLinkReplacesTheFileItNames)
{
    ScratchFolder scratch;
    WriteBytes(scratch / "real.kse", "old");
    std::filesystem::create_symlink(scratch / "real.kse", scratch / "link.kse");
    {
        tk::SafeFileWriter writer(scratch / "link.kse");
        writer.Write("new");
        writer.Commit();
    }
    EXPECT_TRUE(std::filesystem::is_symlink(scratch.Path() / "link.kse"));
    EXPECT_EQ(ReadBytes(scratch / "real.kse"), "new");
}

TEST(SafeFileWriter, FileSizeLimitFailsTheSaveAndKeepsTheOldFile)
{
    ScratchFolder scratch;
    const std::string path = scratch / "work.kse";
    const std::string old(1000, 'o');
    WriteBytes(path, old);
    int code = 0;
    {
        testing_files::FileSizeLimit limit(100000);
        code = ErrorCodeOf([&] {
            tk::SafeFileWriter writer(path);
            for (int i = 0; i < 50000; ++i)
                writer.Write("0123456789");
            writer.Commit();
        });
    }
    EXPECT_EQ(code, 112);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(scratch.Entries(), std::vector<std::string>{"work.kse"});
}

} // namespace
