// Platform functions that older systems lack. They are looked up at run time,
// so that the library still loads where they are missing.
#ifndef ZIBWIN32_PLATFORM_LATE_BOUND_H
#define ZIBWIN32_PLATFORM_LATE_BOUND_H

// The address of function in the already loaded system module moduleName,
// or null when the platform has no such function.
void *lateBoundFunction(const char *moduleName, const char *function);

#endif
