// Loading an element's picture with the fallback picture "mascot.bmp" from the start folder.
#pragma once

#include "graphics.h"
#include "sysutils.h"

// Loads the fallback picture: "mascot.bmp" in StartFolder, or, when that file is missing or
// unreadable, the built-in picture of the layout, so that no command stops half-way for it.
void LoadMascot(TPicture* picture);

// Loads the named file; an empty name or a file that does not load shows the fallback picture
// instead, without a message. Returns whether the named file itself was loaded.
bool LoadElementPicture(TPicture* picture, const AnsiString& fileName);

// The built-in picture the picture controls hold in the layout.
inline constexpr const char* LayoutPictureResource = "rabbit.bmp";
