// What a host does with the DLL: load it, get its table, call entries by name.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "zibwin32.h"

// The path of a file in the folder of the running program.
std::string besideThisProgram(const char *file);

struct LoadedLibrary {
    HMODULE module = nullptr;
    const char *name = nullptr;
    const XtableEntry *table = nullptr;
    FreeResult freeResult = nullptr;
};

// Loads the DLL and asks it for its table; on failure says why in error.
bool loadLibrary(const std::string &path, LoadedLibrary *library, std::string *error);

const XtableEntry *findEntry(const LoadedLibrary &library, const std::string &name);

// The entry names, separated by ", ".
std::string entryNames(const LoadedLibrary &library);

// The argument array a host hands a handler: pointers into copies of the
// arguments (writable, as from a host), which must outlive the call.
std::vector<char *> argumentArray(std::vector<std::string> &copies);

// A top-level window of the calling thread, of a class of its own that
// procedure serves, registered on first use: a Unicode window when unicode.
HWND createHostWindow(const char *className, WNDPROC procedure, bool unicode = false);

// The window id as a script writes it: the handle as a signed decimal.
std::string idOf(HWND window);

// Calls an entry; for a function, returns its text (isNull when it stored null).
struct CallResult {
    bool isNull = true;
    std::string text;
};
CallResult callEntry(const LoadedLibrary &library, const XtableEntry &entry,
                     const std::vector<std::string> &args);
