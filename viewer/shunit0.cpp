// The viewer's viewing settings; the page table and the shared variables come from the
// sources both programs are built from.
#include "shunit0.h"

std::int32_t ViewMode = 0;
std::int32_t AutoSeconds = 0;
