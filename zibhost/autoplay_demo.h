#pragma once

#include "host_calls.h"

// Runs the AutoPlay round trip on a window of the host's own, printing each
// step. Returns 0 when every answer was the expected one.
int runAutoplayDemo(const LoadedLibrary &library);
