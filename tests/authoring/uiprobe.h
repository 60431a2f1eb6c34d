// Looking at the window system from tests whose own strings are CP932: waiting on a condition,
// clicking, comparing pictures and writing bitmaps. The Qt side lives in uiprobe.cpp, which
// is compiled with UTF-8 strings, since Qt's headers do not build with CP932 ones.
#pragma once

#include "controls.h"

#include <functional>
#include <string>

namespace probe {

// Processes events until the condition holds or the time is up; whether it held.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000);

// Milliseconds on a steady clock.
long long NowMs();

// A left click in the middle of a control.
void Click(TControl* control);

// Writes a bitmap of one colour (0xRRGGBB).
void WriteBitmap(const std::string& path, int width, int height, unsigned rgb);

// Whether a picture holds exactly the pixels of an image file, or of a built-in picture.
bool ShowsFile(TPicture* picture, const std::string& path);
bool ShowsResource(TPicture* picture, const std::string& name);

} // namespace probe
