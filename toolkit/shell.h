// Opening a document with the desktop's program for it, as a file manager does.
#pragma once

#include "sysutils.h"

namespace tk {

// Hands a held file name to xdg-open, found on PATH, started in folder (the current folder
// when empty) and not waited for. Whether a program for the file exists, and whether it
// starts, is not looked at. Desktop programs choose their own window state, so a document
// cannot be asked to open minimised here.
void ShellOpen(const AnsiString& file, const AnsiString& folder);

} // namespace tk
