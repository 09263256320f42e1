// Watches a module's heap: every malloc, calloc, realloc and free it makes
// through its C runtime imports is counted, and any allocation can be made to
// fail on demand.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

namespace heap_probe {

// Redirects the module's malloc, calloc, realloc and free through the probe.
void install(HMODULE module);

// Gives the module its C runtime functions back.
void uninstall(HMODULE module);

// Forgets every block and count, and stops failing allocations.
void reset();

// Blocks allocated through the probe and not yet freed.
std::size_t liveBlocks();

// Allocation attempts (malloc, calloc, realloc) since the last reset.
unsigned attempts();

// The sizes asked of each allocation attempt since the last reset, in order.
std::vector<std::size_t> requestedSizes();

// Frees of blocks the probe never handed out (or handed out and freed).
unsigned strayFrees();

// Makes attempt number n from now on (1 for the next one) fail; with
// everyLater, that one and every one after it fail. 0 fails none.
void failAttempt(unsigned n, bool everyLater = false);

}  // namespace heap_probe
