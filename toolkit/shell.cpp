// Opening a document with the desktop's program for it, through xdg-open.
#include "shell.h"
#include "process.h"

namespace tk {

void ShellOpen(const AnsiString& file, const AnsiString& folder)
{
    // Never from the current folder: a program found there could be anybody's.
    const std::string opener = FindOnPath("xdg-open");
    if (opener.empty())
        return;
    // xdg-open takes an argument that starts with "-" for an option of its own; a relative
    // name like that is handed over as the same file under "./".
    std::string path = NativePath(file);
    if (!path.empty() && path.front() == '-')
        path.insert(0, "./");
    StartDetached(opener, {path}, folder.empty() ? std::string(".") : NativePath(folder));
}

} // namespace tk
