// The viewer's data module unit: the shared page table plus the two viewing settings.
#pragma once

#include "pagetable.h"

#include <cstdint>

extern std::int32_t ViewMode;    // 1 by hand, 2 automatic once through, 3 automatic repeating
extern std::int32_t AutoSeconds; // seconds per page in the automatic modes (1 to 120 by design)
