// Whole-file reading and safe replacement of a file, with Linux errors turned into the run
// time's file error codes (the numbers Windows gives the same failures).
#include "textfile.h"

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

// The name of the new file that replaces a target: hidden, and the same for every save of that
// target, so that a save killed half-way leaves at most one behind, which the next save of the
// same file replaces. A hash of the target's name keeps it short, whatever the target's length.
std::string TemporaryNameFor(const std::string& targetName)
{
    std::uint64_t hash = 14695981039346656037u; // FNV-1a
    for (unsigned char c : targetName)
        hash = (hash ^ c) * 1099511628211u;
    static const char digits[] = "0123456789abcdef";
    std::string name = ".pagora-";
    for (int shift = 60; shift >= 0; shift -= 4)
        name += digits[(hash >> shift) & 15];
    return name + ".tmp";
}

std::string NameOf(const std::string& native)
{
    const std::size_t slash = native.rfind('/');
    return slash == std::string::npos ? native : native.substr(slash + 1);
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

ReadableFile OpenReadableFile(const AnsiString& path) { return OpenReadableNativeFile(NativePath(path)); }

ReadableFile OpenReadableNativeFile(const std::string& nativePath)
{
    ReadableFile file;
    file.nativePath = nativePath;
    if (file.nativePath.empty())
        throw InOutError(3);
    // O_NONBLOCK keeps a named pipe from blocking the open; such files are refused below.
    file.descriptor = FileDescriptor(open(file.nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.descriptor.IsOpen()) {
        const int error = errno;
        if (error == ENOENT && !IsFolder(FolderOf(file.nativePath)))
            throw InOutError(3);
        throw InOutError(WindowsErrorCode(error));
    }
    struct stat st {};
    if (fstat(file.descriptor.Get(), &st) != 0)
        throw InOutError(WindowsErrorCode(errno));
    if (!S_ISREG(st.st_mode))
        throw InOutError(5);
    file.device = st.st_dev;
    file.inode = st.st_ino;
    file.size = static_cast<std::uint64_t>(st.st_size > 0 ? st.st_size : 0);
    file.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    return file;
}

std::string ReadFileBytes(ReadableFile& file, std::size_t maxBytes)
{
    const auto tooLarge = [] { return EInOutError(8, FromUtf8("ファイルが大きすぎて よみこめません")); };
    if (file.size > maxBytes)
        throw tooLarge();

    // One byte more than the size, so that the read that finds the end needs no reallocation.
    std::string data(static_cast<std::size_t>(file.size) + 1, '\0');
    std::size_t done = 0;
    for (;;) {
        if (done == data.size())
            data.resize(data.size() * 2);
        const ssize_t n = read(file.descriptor.Get(), data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw InOutError(WindowsErrorCode(errno));
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
        if (done > maxBytes) // it grew while being read
            throw tooLarge();
    }
    data.resize(done);
    return data;
}

std::string ReadFileBytes(const AnsiString& path, std::size_t maxBytes)
{
    ReadableFile file = OpenReadableFile(path);
    return ReadFileBytes(file, maxBytes);
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

    folder_ = FileDescriptor(open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder_.IsOpen())
        Fail(errno);
    targetName_ = NameOf(target_);
    const std::string tempName = TemporaryNameFor(targetName_);
    // A new file of that name is a leftover of a save that was cut short. It is removed, never
    // opened: through a link planted under that name we would write somewhere else.
    if (unlinkat(folder_.Get(), tempName.c_str(), 0) != 0 && errno != ENOENT && errno != EACCES && errno != EPERM)
        Fail(errno);
    // Mode 0666 lets the umask decide a new file's permissions, as for any new file.
    int fd = openat(folder_.Get(), tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
        tempName_ = tempName;
    } else {
        const int error = errno;
        // A folder that takes no new file (or holds another user's leftover) does not stop the
        // save of a file that is writable itself: it is written in place, as a plain write does.
        if (!targetExists_ || (error != EACCES && error != EPERM && error != EEXIST))
            Fail(error);
        fd = open(target_.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            Fail(errno);
        inPlace_ = true;
    }
    file_ = FileDescriptor(fd);
    buffer_.reserve(kBufferSize);
}

std::string SafeFileWriter::TemporaryPathFor(const std::string& nativeTarget)
{
    const std::size_t slash = nativeTarget.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : nativeTarget.substr(0, slash + 1);
    return folder + TemporaryNameFor(NameOf(nativeTarget));
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
    if (inPlace_) {
        // What the old file held beyond the new bytes goes.
        if (ftruncate(file_.Get(), static_cast<off_t>(written_)) != 0)
            Fail(errno);
    } else if (targetExists_) {
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
    if (inPlace_)
        return;
    if (renameat(folder_.Get(), tempName_.c_str(), folder_.Get(), targetName_.c_str()) != 0)
        Fail(errno);
    tempName_.clear();
    // Make the rename itself durable; a folder that cannot be synced is no failure of the save.
    fsync(folder_.Get());
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
        written_ += static_cast<std::uint64_t>(n);
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
    if (!tempName_.empty())
        unlinkat(folder_.Get(), tempName_.c_str(), 0);
    tempName_.clear();
    buffer_.clear();
}

} // namespace tk
