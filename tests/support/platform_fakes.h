// Stands between the DLL and the platform: every kernel32 and user32 call the
// DLL makes that can fail goes through a fake that passes it on to the real
// function, unless a test asked it to fail or to answer in its own way.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <functional>
#include <string>
#include <vector>

// The one list of those calls. A row: the function (SetWindowLongA and
// SetWindowLongW stand for the Ptr forms that 64-bit code imports), where it
// comes from (LOOKED_UP: found through GetProcAddress, never imported), what
// it returns, its parameters and their names, what it returns on failure and
// a plausible last-error code for its failure.
#define ZIBTEST_PLATFORM_CALLS(X)                                                                 \
    X(CreateToolhelp32Snapshot, KERNEL32, HANDLE, (DWORD flags, DWORD process), (flags, process), \
      INVALID_HANDLE_VALUE, ERROR_NOT_ENOUGH_MEMORY)                                              \
    X(Process32First, KERNEL32, BOOL, (HANDLE snapshot, PROCESSENTRY32 * entry),                  \
      (snapshot, entry), FALSE, ERROR_ACCESS_DENIED)                                              \
    X(Process32Next, KERNEL32, BOOL, (HANDLE snapshot, PROCESSENTRY32 * entry),                   \
      (snapshot, entry), FALSE, ERROR_BAD_LENGTH)                                                 \
    X(CloseHandle, KERNEL32, BOOL, (HANDLE handle), (handle), FALSE, ERROR_INVALID_HANDLE)        \
    X(GetLogicalDriveStringsA, KERNEL32, DWORD, (DWORD size, LPSTR buffer), (size, buffer), 0,    \
      ERROR_NOT_ENOUGH_MEMORY)                                                                    \
    X(GetDriveTypeA, KERNEL32, UINT, (LPCSTR root), (root), DRIVE_UNKNOWN, ERROR_SUCCESS)         \
    X(GetVolumeInformationA, KERNEL32, BOOL, (LPCSTR root, LPSTR label, DWORD labelSize,          \
      LPDWORD serial, LPDWORD length, LPDWORD flags, LPSTR fsName, DWORD fsNameSize),             \
      (root, label, labelSize, serial, length, flags, fsName, fsNameSize), 0, ERROR_ACCESS_DENIED) \
    X(GetModuleHandleA, KERNEL32, HMODULE, (LPCSTR name), (name), nullptr, ERROR_MOD_NOT_FOUND)   \
    X(GetProcAddress, KERNEL32, FARPROC, (HMODULE module, LPCSTR name), (module, name), nullptr,  \
      ERROR_PROC_NOT_FOUND)                                                                       \
    X(GetModuleHandleExW, KERNEL32, BOOL, (DWORD flags, LPCWSTR name, HMODULE * module),          \
      (flags, name, module), FALSE, ERROR_MOD_NOT_FOUND)                                          \
    X(SetThreadErrorMode, LOOKED_UP, BOOL, (DWORD mode, LPDWORD previous), (mode, previous),      \
      FALSE, ERROR_INVALID_PARAMETER)                                                             \
    X(SetWindowLongA, USER32, LONG_PTR, (HWND window, int index, LONG_PTR value),                 \
      (window, index, value), 0, ERROR_ACCESS_DENIED)                                             \
    X(SetWindowLongW, USER32, LONG_PTR, (HWND window, int index, LONG_PTR value),                 \
      (window, index, value), 0, ERROR_ACCESS_DENIED)                                             \
    X(SetPropA, USER32, BOOL, (HWND window, LPCSTR name, HANDLE data), (window, name, data),      \
      FALSE, ERROR_NOT_ENOUGH_MEMORY)                                                             \
    X(GetPropA, USER32, HANDLE, (HWND window, LPCSTR name), (window, name), nullptr,              \
      ERROR_INVALID_WINDOW_HANDLE)                                                                \
    X(RemovePropA, USER32, HANDLE, (HWND window, LPCSTR name), (window, name), nullptr,           \
      ERROR_INVALID_WINDOW_HANDLE)                                                                \
    X(RegisterWindowMessageA, USER32, UINT, (LPCSTR name), (name), 0, ERROR_NOT_ENOUGH_MEMORY)    \
    X(GetWindowThreadProcessId, USER32, DWORD, (HWND window, LPDWORD process),                    \
      (window, process), 0, ERROR_INVALID_WINDOW_HANDLE)                                          \
    X(CallWindowProcA, USER32, LRESULT, (WNDPROC proc, HWND w, UINT m, WPARAM wp, LPARAM lp),  \
      (proc, w, m, wp, lp), 0, ERROR_INVALID_PARAMETER)                                           \
    X(CallWindowProcW, USER32, LRESULT, (WNDPROC proc, HWND w, UINT m, WPARAM wp, LPARAM lp),  \
      (proc, w, m, wp, lp), 0, ERROR_INVALID_PARAMETER)                                           \
    X(DefWindowProcA, USER32, LRESULT, (HWND window, UINT message, WPARAM wParam, LPARAM lParam), \
      (window, message, wParam, lParam), 0, ERROR_INVALID_PARAMETER)                              \
    X(DefWindowProcW, USER32, LRESULT, (HWND window, UINT message, WPARAM wParam, LPARAM lParam), \
      (window, message, wParam, lParam), 0, ERROR_INVALID_PARAMETER)

namespace platform {

#define ZIBTEST_OVERRIDE(call, from, returns, parameters, arguments, failure, error) \
    std::function<returns parameters> call;
#define ZIBTEST_REAL(call, from, returns, parameters, arguments, failure, error) \
    returns(WINAPI *call) parameters;

// What a test may put in place of a real call. An empty override passes the
// call on to the platform; an override may call real() itself.
struct Overrides {
    ZIBTEST_PLATFORM_CALLS(ZIBTEST_OVERRIDE)
};

struct Real {
    ZIBTEST_PLATFORM_CALLS(ZIBTEST_REAL)
};

// Routes the DLL's imports through the fakes (again after every load).
void install(HMODULE dll);

// Drops every override, planned failure and count.
void reset();

Overrides &overrides();
const Real &real();

// A platform call that the fakes can fail, and how its failure looks.
struct Failable {
    const char *function;  // as the table names it
    DWORD error;           // a plausible last-error code for its failure
};
const std::vector<Failable> &failableCalls();

// The named call fails on its nth call from now, setting error as its
// last-error code and returning what that function returns on failure.
void failCall(const std::string &function, DWORD error, unsigned nth = 1);

// How often the DLL called the named function since the last reset.
unsigned callCount(const std::string &function);

// Snapshots the DLL took and has not closed.
int openSnapshots();

// Functions the DLL imports from dll that no fake stands in front of.
std::vector<std::string> unwatchedImports(HMODULE dll, const char *dllName);

}  // namespace platform
