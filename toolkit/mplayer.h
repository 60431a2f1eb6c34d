// The media player control: a hidden control that plays page sounds.
#pragma once

#include "controls.h"

// A control the user never sees; its enabled state is switched by the player window and has
// no effect on playing.
class TMediaPlayer : public TControl {
public:
    explicit TMediaPlayer(TComponent* owner);
};
