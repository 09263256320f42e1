#ifndef ZIBWIN32_HOOK_AUTOPLAY_MODE_H
#define ZIBWIN32_HOOK_AUTOPLAY_MODE_H

#include "zibwin32.h"

// "zibWin32SetAutoplayMode" WINDOW_ID MODE: a hooked window answers the
// shell's AutoPlay query with "allow" (0, AutoPlay goes ahead) or "deny"
// (1, AutoPlay is cancelled). Mode words ignore the case of A to Z.
void ZIBWIN32_CALL setAutoplayModeCommand(char **args, int32_t argCount, char **result,
                                          int32_t *firstFlag, int32_t *secondFlag);

#endif
