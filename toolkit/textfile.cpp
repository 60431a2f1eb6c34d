// Whole-file reading and safe replacement of a file, with Linux errors turned into the run
// time's file error codes (the numbers Windows gives the same failures).
#include "textfile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kFileNotOpen = 103;
constexpr std::size_t kBufferSize = 64 * 1024;

int WindowsErrorCode(int error)
{
    switch (error) {
    case ENOENT: return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return 3;
    case EMFILE:
    case ENFILE: return 4;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return 5;
    case ENOMEM: return 8;
    case EBUSY: return 32;     // in use by another program
    case EEXIST: return 80;
    case EINVAL: return 87;
    case ENOSPC:
    case EFBIG:                // past the process's file-size limit: as good as a full disk
    case EDQUOT: return 112;
    default: return 1117;      // a device error
    }
}

// The folder part of a native path, "." for a bare name.
std::string FolderOf(const std::string& native)
{
    const std::size_t slash = native.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : native.substr(0, slash);
}

bool IsFolder(const std::string& native)
{
    struct stat st {};
    return stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A name for the new file beside the target; a leftover of an earlier run under the same
// process id is stepped over by the caller (O_EXCL).
std::string TempPathBeside(const std::string& target)
{
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = target.rfind('/');
    const std::string prefix = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    return prefix + ".pagora-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".tmp";
}

} // namespace

namespace tk {

int FileDescriptor::Close()
{
    if (fd_ < 0)
        return 0;
    const int result = ::close(fd_);
    fd_ = -1;
    // After EINTR the descriptor is gone on Linux; retrying could close someone else's.
    return result == 0 || errno == EINTR ? 0 : errno;
}

void FileDescriptor::Reset() noexcept
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

std::string ReadFileBytes(const AnsiString& path)
{
    const std::string native = NativePath(path);
    if (native.empty())
        throw InOutError(3);
    // O_NONBLOCK keeps a named pipe from blocking the open; such files are refused below.
    FileDescriptor file(open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.IsOpen()) {
        const int error = errno;
        if (error == ENOENT && !IsFolder(FolderOf(native)))
            throw InOutError(3);
        throw InOutError(WindowsErrorCode(error));
    }
    struct stat st {};
    if (fstat(file.Get(), &st) != 0)
        throw InOutError(WindowsErrorCode(errno));
    if (!S_ISREG(st.st_mode))
        throw InOutError(5);

    // One byte more than the size, so that the read that finds the end needs no reallocation.
    std::string data(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 0) + 1, '\0');
    std::size_t done = 0;
    for (;;) {
        if (done == data.size())
            data.resize(data.size() * 2);
        const ssize_t n = read(file.Get(), data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw InOutError(WindowsErrorCode(errno));
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    data.resize(done);
    return data;
}

void IgnoreFileSizeSignal()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

SafeFileWriter::SafeFileWriter(const AnsiString& path)
{
    IgnoreFileSizeSignal();
    target_ = NativePath(path);
    if (target_.empty() || target_.back() == '/')
        throw InOutError(3);

    // Saving through a symbolic link replaces the file it points to and keeps the link.
    struct stat st {};
    if (lstat(target_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* resolved = realpath(target_.c_str(), nullptr)) {
            target_ = resolved;
            free(resolved);
        }
    }
    if (stat(target_.c_str(), &st) == 0) {
        // A file without any write bit is read-only, for root as well: rename would replace
        // it regardless, so the check cannot be left to the system.
        if (!S_ISREG(st.st_mode) || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0
            || access(target_.c_str(), W_OK) != 0)
            throw InOutError(5);
        targetExists_ = true;
        targetMode_ = st.st_mode & 07777;
        targetOwner_ = st.st_uid;
        targetGroup_ = st.st_gid;
    } else if (errno != ENOENT) {
        throw InOutError(WindowsErrorCode(errno));
    }

    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = TempPathBeside(target_);
        // Mode 0666 lets the umask decide a new file's permissions, as for any new file.
        const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            file_ = FileDescriptor(fd);
            tempPath_ = std::move(candidate);
            buffer_.reserve(kBufferSize);
            return;
        }
        if (errno != EEXIST)
            break;
    }
    Fail(errno);
}

SafeFileWriter::~SafeFileWriter()
{
    Abandon();
}

void SafeFileWriter::Write(std::string_view bytes)
{
    if (!file_.IsOpen())
        throw InOutError(kFileNotOpen);
    if (buffer_.size() + bytes.size() > kBufferSize)
        Flush();
    if (bytes.size() >= kBufferSize)
        WriteOut(bytes);
    else
        buffer_.append(bytes);
}

void SafeFileWriter::Commit()
{
    if (!file_.IsOpen())
        throw InOutError(kFileNotOpen);
    Flush();
    if (targetExists_) {
        if (geteuid() == 0 && fchown(file_.Get(), targetOwner_, targetGroup_) != 0) {
            // Root saving over another user's work hands it back to that user; when that
            // fails the file is root's, as a new file would be, which is no reason to stop.
        }
        if (fchmod(file_.Get(), targetMode_) != 0)
            Fail(errno);
    }
    // EINVAL: a file system that cannot sync; the rename is still the best there is.
    if (fsync(file_.Get()) != 0 && errno != EINVAL)
        Fail(errno);
    if (const int error = file_.Close())
        Fail(error);
    if (rename(tempPath_.c_str(), target_.c_str()) != 0)
        Fail(errno);
    tempPath_.clear();
    // Make the rename itself durable; a folder that cannot be synced is no failure of the save.
    FileDescriptor folder(open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.IsOpen())
        fsync(folder.Get());
}

void SafeFileWriter::Flush()
{
    if (buffer_.empty())
        return;
    WriteOut(buffer_);
    buffer_.clear();
}

void SafeFileWriter::WriteOut(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(file_.Get(), bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail(errno);
        }
        if (n == 0)
            Fail(ENOSPC);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void SafeFileWriter::Fail(int error)
{
    Abandon();
    // Here a missing entry is always a folder: the new file's or, later, the target's.
    throw InOutError(error == ENOENT ? 3 : WindowsErrorCode(error));
}

void SafeFileWriter::Abandon() noexcept
{
    file_.Reset();
    if (!tempPath_.empty())
        unlink(tempPath_.c_str());
    tempPath_.clear();
    buffer_.clear();
}

} // namespace tk
