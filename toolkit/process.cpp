// Starting other programs with posix_spawn, detached and reaped in the background.
#include "process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tk {

namespace {

// Desktop paint programs that take a picture file as their one argument, in the order they
// are tried when no "pbrush.exe" is found.
const char* const PaintPrograms[] = {"kolourpaint", "mtpaint", "pinta", "drawing", "gimp"};

// A posix_spawn file-actions or attributes object, destroyed with its scope.
template <class Object, int (*Init)(Object*), int (*Destroy)(Object*)>
class SpawnObject {
public:
    SpawnObject() { ready_ = Init(&object_) == 0; }
    ~SpawnObject()
    {
        if (ready_)
            Destroy(&object_);
    }
    SpawnObject(const SpawnObject&) = delete;
    SpawnObject& operator=(const SpawnObject&) = delete;

    bool Ready() const { return ready_; }
    Object* Get() { return &object_; }

private:
    Object object_{};
    bool ready_ = false;
};

using SpawnFileActions =
    SpawnObject<posix_spawn_file_actions_t, posix_spawn_file_actions_init, posix_spawn_file_actions_destroy>;
using SpawnAttributes = SpawnObject<posix_spawnattr_t, posix_spawnattr_init, posix_spawnattr_destroy>;

bool IsExecutableFile(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Waits for the child on a thread of its own, so that it leaves no zombie and the caller
// goes on at once.
void ReapInBackground(pid_t pid)
{
    try {
        std::thread([pid] {
            int status = 0;
            while (waitpid(pid, &status, 0) == -1 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the child stays a zombie until this program ends.
    }
}

} // namespace

std::string FindOnPath(const std::string& name)
{
    // A name with a separator is a path, which is not looked up; a relative one would be
    // taken against the current folder.
    if (name.empty() || name.find('/') != std::string::npos)
        return {};
    const char* path = std::getenv("PATH");
    if (!path)
        return {};
    std::string entries = path;
    std::string::size_type start = 0;
    while (start <= entries.size()) {
        std::string::size_type end = entries.find(':', start);
        if (end == std::string::npos)
            end = entries.size();
        std::string folder = entries.substr(start, end - start);
        if (!folder.empty() && folder.front() == '/') {
            std::string candidate = folder.back() == '/' ? folder + name : folder + "/" + name;
            if (IsExecutableFile(candidate))
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

bool StartDetached(const std::string& program, const std::vector<std::string>& arguments, const std::string& folder)
{
    SpawnFileActions actions;
    SpawnAttributes attributes;
    if (!actions.Ready() || !attributes.Ready())
        return false;
    // The child reads nothing of ours and inherits none of our files beyond the two outputs.
    if (posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0) != 0 ||
        posix_spawn_file_actions_addclosefrom_np(actions.Get(), STDERR_FILENO + 1) != 0 ||
        posix_spawn_file_actions_addchdir_np(actions.Get(), folder.c_str()) != 0)
        return false;
    // Its own session, so that it outlives a terminal we were started from; no blocked
    // signals, and every signal at its default (this program ignores SIGXFSZ, for one).
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    if (posix_spawnattr_setflags(attributes.Get(), POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) != 0 ||
        posix_spawnattr_setsigmask(attributes.Get(), &none) != 0 ||
        posix_spawnattr_setsigdefault(attributes.Get(), &all) != 0)
        return false;

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    // glibc reports a failed exec here and reaps that child itself.
    if (posix_spawn(&pid, program.c_str(), actions.Get(), attributes.Get(), argv.data(), environ) != 0)
        return false;
    ReapInBackground(pid);
    return true;
}

std::string FileArgument(const std::string& path)
{
    return !path.empty() && path.front() == '-' ? "./" + path : path;
}

bool StartCommandLine(const AnsiString& commandLine, const AnsiString& folder)
{
    const AnsiString::size_type blank = commandLine.find(' ');
    const AnsiString name = commandLine.substr(0, blank);
    std::vector<std::string> arguments;
    if (blank != AnsiString::npos && blank + 1 < commandLine.size())
        arguments.push_back(FileArgument(NativePath(commandLine.substr(blank + 1))));

    std::string program = FindOnPath(ToUtf8(name));
    if (program.empty() && name == "pbrush.exe") {
        for (const char* paint : PaintPrograms) {
            program = FindOnPath(paint);
            if (!program.empty())
                break;
        }
    }
    if (program.empty())
        return false;
    return StartDetached(program, arguments, NativePath(folder));
}

} // namespace tk
