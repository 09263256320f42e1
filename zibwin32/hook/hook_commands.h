#ifndef ZIBWIN32_HOOK_HOOK_COMMANDS_H
#define ZIBWIN32_HOOK_HOOK_COMMANDS_H

#include "zibwin32.h"

// "zibWin32Attach" WINDOW_ID: hooks the window unless it is hooked already.
void ZIBWIN32_CALL attachCommand(char **args, int32_t argCount, char **result, int32_t *firstFlag,
                                 int32_t *secondFlag);

// "zibWin32Detach" WINDOW_ID: unhooks the window if it is hooked, once no
// other subclass stands in front of the hook.
void ZIBWIN32_CALL detachCommand(char **args, int32_t argCount, char **result, int32_t *firstFlag,
                                 int32_t *secondFlag);

#endif
