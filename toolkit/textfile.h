// Whole-file reading and safe replacement of a file, with the run time's file error codes.
#pragma once

#include "sysutils.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tk {

// An open file descriptor, closed when it goes out of scope.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other) {
            Reset();
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    // Closes the descriptor; the error of close(2) as errno value, 0 when it went well.
    int Close();
    void Reset() noexcept;

private:
    int fd_ = -1;
};

// A regular file open for reading, and what identifies its contents: a file saved again gets
// a new modification time (or size, or inode when the new file is renamed over it).
struct ReadableFile {
    FileDescriptor descriptor;
    std::string nativePath;
    dev_t device = 0;
    ino_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0; // since the epoch
};

// Opens a file for ReadFileBytes, by its held or its native path. Raises EInOutError: 2 no
// such file, 3 no such folder or a bad name, 4 too many open files, 5 access denied (a folder,
// a device), other codes from the system.
ReadableFile OpenReadableFile(const AnsiString& path);
ReadableFile OpenReadableNativeFile(const std::string& nativePath);

// The bytes of a whole file. Raises EInOutError as OpenReadableFile, and 8 when the file is
// longer than maxBytes (at once, before anything is read).
std::string ReadFileBytes(ReadableFile& file, std::size_t maxBytes = static_cast<std::size_t>(-1));
std::string ReadFileBytes(const AnsiString& path, std::size_t maxBytes = static_cast<std::size_t>(-1));

// Ignores SIGXFSZ for the whole process, so that a write past the file-size limit fails with
// an error instead of ending the program. SafeFileWriter calls it; calling it again is harmless.
void IgnoreFileSizeSignal();

// Replaces a file without ever leaving it half written: the bytes go to a new file in the same
// folder, which is flushed to disk and renamed over the target by Commit. Until then, and on
// every failure, the old file stays as it was; a writer destroyed without Commit removes its
// new file. The new file has one hidden name per target, so one that a killed save left behind
// is replaced by the next save of the same file. Only when the folder takes no new file but the
// target itself is writable is the target written in place, as a plain write would. Every
// failure raises EInOutError (3 no such folder, 5 the target is read-only or not a file, 112
// the disk is full or the file-size limit is reached).
class SafeFileWriter {
public:
    explicit SafeFileWriter(const AnsiString& path);
    // The native path of the new file beside a native target path.
    static std::string TemporaryPathFor(const std::string& nativeTarget);
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    void Write(std::string_view bytes);
    void Commit();

private:
    void Flush();
    void WriteOut(std::string_view bytes);
    [[noreturn]] void Fail(int error);
    void Abandon() noexcept;

    std::string target_;     // native path
    FileDescriptor folder_;  // the target's folder; the names below are in it
    std::string targetName_;
    std::string tempName_;   // the new file, until it is renamed or removed
    bool inPlace_ = false;   // writing the target itself, as the folder takes no new file
    FileDescriptor file_;
    std::uint64_t written_ = 0;
    bool targetExists_ = false;
    mode_t targetMode_ = 0;
    uid_t targetOwner_ = 0;
    gid_t targetGroup_ = 0;
    std::string buffer_;
};

} // namespace tk
