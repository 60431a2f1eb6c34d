// Starting other programs: detached, in a folder of the caller's choice, never waited for.
#pragma once

#include "sysutils.h"

#include <string>
#include <vector>

namespace tk {

// The full path of an executable file of that name in one of the folders of PATH, searched in
// order; empty when there is none. Only absolute entries are searched: an empty or relative
// entry would name the current folder, from which no program is ever started.
std::string FindOnPath(const std::string& name);

// Starts program (a path) with the arguments, in folder as its current folder, in a session
// of its own, with the caller's environment and none of its files but the standard output and
// error. Nothing waits for it: it is reaped in the background when it ends. Returns whether it
// was started.
bool StartDetached(const std::string& program, const std::vector<std::string>& arguments, const std::string& folder);

// A file name as a program's argument. Programs read an argument that starts with "-" as an
// option of their own (gimp even runs "--batch=..." as a script), so such a relative name is
// handed over as the same file under "./".
std::string FileArgument(const std::string& path);

// Runs a Windows-style command line "name rest": the program found on PATH under the name up
// to the first blank, given everything after that blank, when not empty, as its one argument,
// unquoted and unchanged (a held path, so "\" reads as "/"), in the held folder. The system
// paint program "pbrush.exe" is stood in for by the desktop's own paint program when PATH
// holds none of that name. The argument is a file name, handed over as FileArgument does. A
// program that is not found or does not start is not reported beyond the result.
bool StartCommandLine(const AnsiString& commandLine, const AnsiString& folder);

} // namespace tk
