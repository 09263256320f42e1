#include "platform/late_bound.h"

#include <windows.h>

void *lateBoundFunction(const char *moduleName, const char *function) {
    HMODULE module = GetModuleHandleA(moduleName);
    if (module == nullptr) return nullptr;
    return reinterpret_cast<void *>(GetProcAddress(module, function));
}
