// What the benchmark sources share: how a row names its floor, the counter that rows of
// memory report, and the fresh process that measures a page's memory.
//
// A row's floor is the benchmark named like the row with "/floor" after it (before the row's
// arguments, or without them when one floor serves every argument); the summary after the run
// prints each row beside its floor and their ratio. A row that sets the counter
// kResidentCounter is compared by it (megabytes), every other row by its time.
#pragma once

inline constexpr const char* kFloorSuffix = "/floor";
inline constexpr const char* kResidentCounter = "resident_MB";

// The program started with this flag and three picture files prints the resident and the peak
// megabytes that showing a page of them added, and ends.
inline constexpr const char* kResidentChildFlag = "--resident-after-page";
int ResidentAfterPage(int fileCount, char** files);

// A field of /proc/<pid>/status ("VmRSS", "VmHWM") in megabytes; pid 0 is this process.
double ResidentMegabytes(const char* field, int pid = 0);
