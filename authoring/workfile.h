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

// The warning to show instead of saving a field the file cannot carry: a text with a line that
// is exactly "*", which the reader would take for the end of the text, or a line break in a
// one-line field (a caption, a face name, or a picture or sound name as the mapping writes it),
// which would put every later field out of place. Names the first such page and element;
// nullopt when the whole table can be saved. The save commands ask before opening any file.
std::optional<AnsiString> FindUnsavableField(const PageTable& table, const FileNameMapping& mapping);

// Writes the whole work from Pages, replacing the file at path only once it is complete: on
// any failure the previous file stays as it was and EInOutError is raised. Once the new file
// has been created, WorkWidth and WorkHeight become the editing window's outer size, which the
// caller passes in, and the header holds them. The four file-name lines of each page go through
// mapping (an empty mapping writes names as held). A field that FindUnsavableField refuses
// raises Exception with its warning before any file is touched.
void WriteWorkFile(const AnsiString& path, const FileNameMapping& mapping, std::int32_t windowWidth,
                   std::int32_t windowHeight);

// Reads a whole work file into WorkWidth, WorkHeight and Pages. Only a valid file changes them:
// on an error (EInOutError 2 no such file, 106 an integer line that is not a number, 100 the file
// ends before an integer or before a text's "*" line, other file errors; Exception for a file far
// larger than any work) they keep their values. Past the end of the file a string line reads as
// empty and a flag line as false, so a file whose last empty line was trimmed still reads.
void ReadWorkFile(const AnsiString& path);
