// Applying a page record to the eight element controls of a window, as the editing window and
// the player both show a page.
#pragma once

#include "controls.h"
#include "pagetable.h"

#include <array>

struct ElementControls {
    std::array<TImage*, 3> pictures;
    std::array<TMemo*, 3> texts;
    std::array<TButton*, 2> buttons;
};

// Visibility, geometry, fonts, texts and captions, each property for all elements of a kind
// before the next; then the three pictures, loaded whether shown or not, with the fallback
// picture for a name that is empty or does not load. The record is only read.
void ApplyPageElements(const datax& page, const ElementControls& controls);
