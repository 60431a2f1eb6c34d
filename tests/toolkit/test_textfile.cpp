// Whole-file reading and safe replacement: exact bytes, error codes, and the old file kept
// whole whenever a save goes wrong.
#include "filetesting.h"
#include "textfile.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <iterator>
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

TEST(SafeFileWriter, ASaveCutShortLeavesOneFileThatTheNextSaveOfThatFileReplaces)
{
    ScratchFolder scratch;
    const std::string path = scratch / "work.kse";
    const std::string other = scratch / "other.kse";
    // What saves killed half-way leave behind: one new file per target, whatever it held.
    WriteBytes(tk::SafeFileWriter::TemporaryPathFor(path), "half a work");
    WriteBytes(tk::SafeFileWriter::TemporaryPathFor(other), "half another work");
    EXPECT_EQ(tk::SafeFileWriter::TemporaryPathFor(path), tk::SafeFileWriter::TemporaryPathFor(path));
    EXPECT_NE(tk::SafeFileWriter::TemporaryPathFor(path), tk::SafeFileWriter::TemporaryPathFor(other));
    EXPECT_EQ(std::filesystem::path(tk::SafeFileWriter::TemporaryPathFor(path)).filename().string()[0], '.');
    {
        tk::SafeFileWriter writer(path);
        writer.Write("new");
        writer.Commit();
    }
    EXPECT_EQ(ReadBytes(path), "new");
    EXPECT_EQ(ReadBytes(tk::SafeFileWriter::TemporaryPathFor(other)), "half another work");
    EXPECT_EQ(scratch.Entries().size(), 2u);

    // A link planted under the new file's name is removed, not written through.
    WriteBytes(scratch / "victim", "keep");
    std::filesystem::create_symlink(scratch / "victim", tk::SafeFileWriter::TemporaryPathFor(path));
    {
        tk::SafeFileWriter writer(path);
        writer.Write("newer");
        writer.Commit();
    }
    EXPECT_EQ(ReadBytes(scratch / "victim"), "keep");
    EXPECT_EQ(ReadBytes(path), "newer");
}

TEST(SafeFileWriter, ATargetNearThePathLimitSaves)
{
    ScratchFolder scratch;
    std::filesystem::path folder = scratch.Path();
    while (folder.string().size() < 4086 - 260)
        folder /= std::string(200, 'd');
    std::filesystem::create_directories(folder);
    std::string path = (folder / "w").string();
    path += std::string(4086 - path.size() - 4, 'n') + ".kse"; // 4,086 bytes, within PATH_MAX
    ASSERT_EQ(path.size(), 4086u);
    WriteBytes(path, "old");
    {
        tk::SafeFileWriter writer(path);
        writer.Write("new");
        writer.Commit();
    }
    EXPECT_EQ(tk::ReadFileBytes(path), "new");
}

// A folder that takes no new file: root passes every permission check, so the save runs under
// another user's identity then.
TEST(SafeFileWriter, AWritableFileInAFolderThatTakesNoNewFileIsWrittenInPlace)
{
    ScratchFolder scratch;
    const std::filesystem::path folder = scratch.Path() / "shared";
    std::filesystem::create_directory(folder);
    const std::string path = (folder / "work.kse").string();
    WriteBytes(path, "an old work, longer than the new one");
    const uid_t user = geteuid() == 0 ? 65534 : geteuid();
    chmod(scratch.Path().c_str(), 0755);
    ASSERT_EQ(chown(path.c_str(), user, static_cast<gid_t>(-1)), 0);
    chmod(path.c_str(), 0644);
    chmod(folder.c_str(), 0555);
    const uid_t root = geteuid();
    ASSERT_EQ(seteuid(user), 0);
    const int code = ErrorCodeOf([&] {
        tk::SafeFileWriter writer(path);
        writer.Write("new work");
        writer.Commit();
    });
    // A new file in that folder is refused as before.
    const int newFileCode = ErrorCodeOf([&] { tk::SafeFileWriter writer((folder / "new.kse").string()); });
    ASSERT_EQ(seteuid(root), 0);
    chmod(folder.c_str(), 0755);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(newFileCode, 5);
    EXPECT_EQ(ReadBytes(path), "new work");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

} // namespace
