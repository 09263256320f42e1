#ifndef ZIBWIN32_HOOK_MESSAGE_FILTER_H
#define ZIBWIN32_HOOK_MESSAGE_FILTER_H

#include <windows.h>

// Lets message reach window from less privileged senders, where the system
// filters such messages; elsewhere does nothing.
void allowThroughMessageFilter(HWND window, UINT message);

#endif
