// Counts the bytes the program has allocated through operator new while
// counting is on, and the peak of what was live at once. Not available in
// sanitizer builds (they own the allocator).
#pragma once

#include <cstddef>

bool AllocationCountingAvailable();
void StartCountingAllocations();
// Stops counting; returns the peak of live bytes since the start.
size_t StopCountingAllocations();
