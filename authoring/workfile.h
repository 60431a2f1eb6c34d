// The work file: its writer, its reader, and the file-name mappings of the save commands.
#pragma once

#include "pagetable.h"
#include "sysutils.h"

#include <cstdint>
#include <functional>
#include <optional>

// How a picture or sound file name is written into the work file; the records keep theirs.
using FileNameMapping = std::function<AnsiString(const AnsiString&)>;

// The name as held, for the plain save.
inline AnsiString NameAsHeld(const AnsiString& name) { return name; }

// The part of a name after its last separator: a "\" standing as a character of its own (never
// the second byte of a double-byte character such as the one of "表"), or a "/". Empty when the
// name ends in a separator; the whole name when it has none ("C:cat.bmp" stays as it is).
AnsiString BaseName(const AnsiString& name);

// The warning to show instead of saving when a text of the table holds a line that is exactly
// "*": the reader would take that line for the end of the text. Names the first such page and
// text; nullopt when every text can be saved. The save commands ask before opening any file.
std::optional<AnsiString> FindUnsavableText(const PageTable& table);

// Writes the whole work from Pages, replacing the file at path only once it is complete: on
// any failure the previous file stays as it was and EInOutError is raised. Once the new file
// has been created, WorkWidth and WorkHeight become the editing window's outer size, which the
// caller passes in, and the header holds them. The four file-name lines of each page go through
// mapping (an empty mapping writes names as held). A text that FindUnsavableText refuses
// raises Exception with its warning before any file is touched.
void WriteWorkFile(const AnsiString& path, const FileNameMapping& mapping, std::int32_t windowWidth,
                   std::int32_t windowHeight);

// Reads a whole work file into WorkWidth, WorkHeight and Pages. Only a complete, valid file
// changes them: on EInOutError (2 no such file, 106 an integer line that is not a number, 100 the
// file ends too early, other file errors) they keep their values.
void ReadWorkFile(const AnsiString& path);
