// The module's entry point, called by the loader for process and thread
// attach and detach. The library has nothing to set up or tear down, so this
// is the whole entry: the build makes it the module's entry point directly,
// without a C runtime start-up routine in front of it.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
