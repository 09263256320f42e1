// The module's entry point, called by the loader for process and thread
// attach and detach. The build makes it the module's entry point directly,
// without a C runtime start-up routine in front of it: the library has
// nothing to set up or tear down, but for the stack cookie of the builds that
// check it (ZIBWIN32_CHECKS_STACK), which must hold a value of its own before
// any function that checks it runs.
#include <windows.h>

#ifdef ZIBWIN32_CHECKS_STACK
#include "entry/stack_cookie.h"
#endif

extern "C" __attribute__((no_stack_protector)) BOOL WINAPI DllMain(HINSTANCE, DWORD reason,
                                                                   LPVOID) {
#ifdef ZIBWIN32_CHECKS_STACK
    if (reason == DLL_PROCESS_ATTACH) seedStackCookie();
#else
    (void)reason;
#endif
    return TRUE;
}
