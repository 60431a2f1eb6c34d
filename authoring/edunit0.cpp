// The authoring program's editing variables of the data module unit.
#include "edunit0.h"

std::int32_t EditPage = 0;
std::int32_t LinkValue = 0;
std::int32_t LinkElement = 0;
