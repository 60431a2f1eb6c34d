// Typing into the viewer's fields and choosing radio items as the user does, from tests whose
// own strings are CP932. The Qt side lives in keyprobe.cpp, compiled with UTF-8 strings.
#pragma once

#include "controls.h"

#include <string>

namespace keyprobe {

enum class Key { Backspace, Up, Down };

// Selects the whole text of a spin field, so that the next key replaces it.
void SelectAll(TSpinEdit* spin);
// Types ASCII characters into a spin field, one key event each.
void Type(TSpinEdit* spin, const std::string& keys);
void Press(TSpinEdit* spin, Key key);
// Clicks item index of a radio group with the mouse.
void ChooseItem(TRadioGroup* group, int index);

} // namespace keyprobe
