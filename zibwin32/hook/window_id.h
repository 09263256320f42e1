// Window ids as scripts pass them: decimal text naming a window handle.
#ifndef ZIBWIN32_HOOK_WINDOW_ID_H
#define ZIBWIN32_HOOK_WINDOW_ID_H

#include <windows.h>
#include <stdint.h>

// Reads a decimal number the way "%d" does: leading white space, an optional
// sign, then digits up to the first non-digit; the rest is ignored. A number
// past 32 bits keeps its low 32 bits, taken as signed. Returns 0 when the text
// holds no number.
int parseWindowId(const char *text, int32_t *id);

// The window that text names, if it is a window of the calling thread.
// Only such windows may be hooked or changed: the hook runs on the window's
// own thread and shares the window's record with the commands without a lock.
int windowOfCallingThread(const char *text, HWND *window);

#endif
