// What a host author or a script author would use instead of the library:
// WMI queries in process, the tasklist program, the platform's own safe
// subclassing. Each gives its result as text, so that the benchmark can check
// that it holds what the library's result holds before timing it.
#pragma once

#include <windows.h>
#include <wbemidl.h>

#include <string>
#include <vector>

// A connection to the local WMI namespace ROOT\CIMV2, made once, as a script
// keeps its service object.
struct WmiSession {
    IWbemLocator *locator = nullptr;
    IWbemServices *services = nullptr;
};
bool openWmi(WmiSession *session);
void closeWmi(WmiSession *session);

// The rows of a WQL query, each the named properties as ANSI text (a number
// in decimal, a null property as ""); false when the query fails.
using WmiRows = std::vector<std::vector<std::string>>;
bool wmiQuery(const WmiSession &session, const wchar_t *wql,
              const std::vector<const wchar_t *> &properties, WmiRows *rows);

// What tasklist.exe prints, run as a child process.
std::string tasklistOutput();

// Subclasses window with SetWindowSubclass (comctl32): the subclass answers
// query itself, as the library's hook does, and passes every other message
// on with DefSubclassProc.
bool subclassSafely(HWND window, UINT query);
