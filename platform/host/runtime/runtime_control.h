// Host control of the device runtime: the system's counted heap, and one
// allocation made to fail. Thread-safe.
#pragma once

#include <cstdint>

namespace host {

// Makes allocations of the system's code fail (malloc, calloc or realloc,
// platform/runtime.h): the next n succeed, the `failures` after them return
// null, the rest succeed again. Counting starts at this call; n < 0 turns the
// fault off (as resetHost does). Thread-safe.
void failAllocationAfter(int n, int64_t failures = 1);
// Whether the chosen allocation has failed since failAllocationAfter.
bool allocationFailureHappened();
// The system's allocation calls since failAllocationAfter.
int64_t systemAllocationCount();
// Blocks the system's code holds now, over the whole process.
int64_t systemBlocksLive();

}  // namespace host
