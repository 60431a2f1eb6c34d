// The authoring program's data module unit: the shared page table plus its editing variables.
#pragma once

#include "pagetable.h"

extern std::int32_t EditPage;    // page shown in the editing window
extern std::int32_t LinkValue;   // value last confirmed in the link dialog
extern std::int32_t LinkElement; // element whose link the link dialog edits
