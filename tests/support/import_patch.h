// Redirects one imported function of one loaded module by rewriting its
// import address table slot: only that module's calls go elsewhere.
#pragma once

#include <windows.h>

#include "entry/load_config_layout.h"

#include <string>
#include <vector>

// The slot through which module calls dll!function, or null if it imports
// no such function.
void **findImportSlot(HMODULE module, const char *dll, const char *function);

// Puts replacement in the slot and returns what was there before. Aborts the
// test program when the module does not import the function: a fault that
// cannot be injected must not pass as a test that ran.
void *patchImport(HMODULE module, const char *dll, const char *function, void *replacement);

// The names of the functions that module imports from dll.
std::vector<std::string> importedFunctions(HMODULE module, const char *dll);

// A pointer-sized field of the loaded module's load configuration, at an
// offset of loadConfigLayout; 0 without one.
uintptr_t loadConfigField(HMODULE module, size_t offset);
