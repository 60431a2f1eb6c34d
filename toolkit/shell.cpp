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
    StartDetached(opener, {FileArgument(NativePath(file))}, folder.empty() ? std::string(".") : NativePath(folder));
}

} // namespace tk
