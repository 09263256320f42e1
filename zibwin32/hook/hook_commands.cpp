#include "hook/hook_commands.h"

#include "hook/window_hook.h"
#include "hook/window_id.h"

void ZIBWIN32_CALL attachCommand(char **args, int32_t argCount, char **result, int32_t *firstFlag,
                                 int32_t *secondFlag) {
    *firstFlag = 0;
    *secondFlag = 0;
    *result = nullptr;
    HWND window;
    if (argCount != 1 || !windowOfCallingThread(args[0], &window)) return;
    if (hookRecordOf(window) != nullptr) return;
    attachWindow(window);
}

void ZIBWIN32_CALL detachCommand(char **args, int32_t argCount, char **result, int32_t *firstFlag,
                                 int32_t *secondFlag) {
    *firstFlag = 0;
    *secondFlag = 0;
    *result = nullptr;
    HWND window;
    if (argCount != 1 || !windowOfCallingThread(args[0], &window)) return;
    detachWindow(window);
}
