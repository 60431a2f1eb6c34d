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

// Pointer input at a point of a control's client area (for a text, inside its border), sent to
// that control as the pointer capture delivers it; moves and releases of the right or middle
// button alone are handed on by the toolkit to the control under the pointer. The buttons
// held with each event follow the presses and releases sent here.
void Press(TControl* control, TMouseButton button, int x, int y);
void MoveTo(TControl* control, int x, int y);
void Release(TControl* control, TMouseButton button, int x, int y);
// Forgets the buttons still held, so that a test that stopped half-way spoils no other.
void ForgetHeldButtons();
// A left double click in the middle of a control: press, release, double click, release.
void DoubleClick(TControl* control);

// Types keys into a field over its whole text, as after selecting it all; "\b" empties it.
void TypeOver(TControl* control, const std::string& keys);

// Types keys into whatever control has the keyboard focus.
void TypeIntoFocus(const std::string& keys);

// The close box of a window.
void PressCloseBox(TControl* window);

// Writes a bitmap of one colour (0xRRGGBB).
void WriteBitmap(const std::string& path, int width, int height, unsigned rgb);

// Whether a picture holds exactly the pixels of an image file, or of a built-in picture.
bool ShowsFile(TPicture* picture, const std::string& path);
bool ShowsResource(TPicture* picture, const std::string& name);

} // namespace probe
