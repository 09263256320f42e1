// Stands between a module and the platform: every kernel32 and user32 call
// the DLL makes that can fail, and every call it makes to its C runtime's
// heap, goes through a fake that counts it and passes it on to the real
// function, unless a test asked it to fail or to answer in its own way.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

// The one list of those calls. A row: the function (SetWindowLongA and
// SetWindowLongW stand for the Ptr forms that 64-bit code imports), where it
// comes from (LOOKED_UP: found through GetProcAddress, never imported;
// STACK_CHECK: KERNEL32's, when a stack check of the clang builds fails;
// MSVCRT: the C runtime's heap, whose calls also count as "allocation"), what
// it returns, its parameters and their names, what it returns on failure and
// a plausible last-error code for its failure. free, which cannot fail, is
// watched beside them.
#define ZIBTEST_PLATFORM_CALLS(X)                                                                  \
    X(CreateToolhelp32Snapshot, KERNEL32, HANDLE, (DWORD flags, DWORD process), (flags, process),  \
      INVALID_HANDLE_VALUE, ERROR_NOT_ENOUGH_MEMORY)                                               \
    X(Process32First, KERNEL32, BOOL, (HANDLE snapshot, PROCESSENTRY32 * entry),                   \
      (snapshot, entry), FALSE, ERROR_ACCESS_DENIED)                                               \
    X(Process32Next, KERNEL32, BOOL, (HANDLE snapshot, PROCESSENTRY32 * entry), (snapshot, entry), \
      FALSE, ERROR_BAD_LENGTH)                                                                     \
    X(CloseHandle, KERNEL32, BOOL, (HANDLE handle), (handle), FALSE, ERROR_INVALID_HANDLE)         \
    X(GetLogicalDriveStringsA, KERNEL32, DWORD, (DWORD size, LPSTR buffer), (size, buffer), 0,     \
      ERROR_NOT_ENOUGH_MEMORY)                                                                     \
    X(GetDriveTypeA, KERNEL32, UINT, (LPCSTR root), (root), DRIVE_UNKNOWN, ERROR_SUCCESS)          \
    X(GetVolumeInformationA, KERNEL32, BOOL,                                                       \
      (LPCSTR root, LPSTR label, DWORD labelSize, LPDWORD serial, LPDWORD length, LPDWORD flags,   \
       LPSTR fsName, DWORD fsNameSize),                                                            \
      (root, label, labelSize, serial, length, flags, fsName, fsNameSize), 0, ERROR_ACCESS_DENIED) \
    X(GetModuleHandleA, KERNEL32, HMODULE, (LPCSTR name), (name), nullptr, ERROR_MOD_NOT_FOUND)    \
    X(GetProcAddress, KERNEL32, FARPROC, (HMODULE module, LPCSTR name), (module, name), nullptr,   \
      ERROR_PROC_NOT_FOUND)                                                                        \
    X(GetModuleHandleExW, KERNEL32, BOOL, (DWORD flags, LPCWSTR name, HMODULE * module),           \
      (flags, name, module), FALSE, ERROR_MOD_NOT_FOUND)                                           \
    X(IsProcessorFeaturePresent, STACK_CHECK, BOOL, (DWORD feature), (feature), FALSE,             \
      ERROR_SUCCESS)                                                                               \
    X(TerminateProcess, STACK_CHECK, BOOL, (HANDLE process, UINT code), (process, code), FALSE,    \
      ERROR_ACCESS_DENIED)                                                                         \
    X(SetThreadErrorMode, LOOKED_UP, BOOL, (DWORD mode, LPDWORD previous), (mode, previous),       \
      FALSE, ERROR_INVALID_PARAMETER)                                                              \
    X(SetWindowLongA, USER32, LONG_PTR, (HWND window, int index, LONG_PTR value),                  \
      (window, index, value), 0, ERROR_ACCESS_DENIED)                                              \
    X(SetWindowLongW, USER32, LONG_PTR, (HWND window, int index, LONG_PTR value),                  \
      (window, index, value), 0, ERROR_ACCESS_DENIED)                                              \
    X(SetPropA, USER32, BOOL, (HWND window, LPCSTR name, HANDLE data), (window, name, data),       \
      FALSE, ERROR_NOT_ENOUGH_MEMORY)                                                              \
    X(GetPropA, USER32, HANDLE, (HWND window, LPCSTR name), (window, name), nullptr,               \
      ERROR_INVALID_WINDOW_HANDLE)                                                                 \
    X(RemovePropA, USER32, HANDLE, (HWND window, LPCSTR name), (window, name), nullptr,            \
      ERROR_INVALID_WINDOW_HANDLE)                                                                 \
    X(RegisterWindowMessageA, USER32, UINT, (LPCSTR name), (name), 0, ERROR_NOT_ENOUGH_MEMORY)     \
    X(GetWindowThreadProcessId, USER32, DWORD, (HWND window, LPDWORD process), (window, process),  \
      0, ERROR_INVALID_WINDOW_HANDLE)                                                              \
    X(CallWindowProcA, USER32, LRESULT, (WNDPROC proc, HWND w, UINT m, WPARAM wp, LPARAM lp),      \
      (proc, w, m, wp, lp), 0, ERROR_INVALID_PARAMETER)                                            \
    X(CallWindowProcW, USER32, LRESULT, (WNDPROC proc, HWND w, UINT m, WPARAM wp, LPARAM lp),      \
      (proc, w, m, wp, lp), 0, ERROR_INVALID_PARAMETER)                                            \
    X(DefWindowProcA, USER32, LRESULT, (HWND window, UINT message, WPARAM wParam, LPARAM lParam),  \
      (window, message, wParam, lParam), 0, ERROR_INVALID_PARAMETER)                               \
    X(DefWindowProcW, USER32, LRESULT, (HWND window, UINT message, WPARAM wParam, LPARAM lParam),  \
      (window, message, wParam, lParam), 0, ERROR_INVALID_PARAMETER)                               \
    X(malloc, MSVCRT, void *, (size_t size), (size), nullptr, ERROR_NOT_ENOUGH_MEMORY)             \
    X(calloc, MSVCRT, void *, (size_t count, size_t size), (count, size), nullptr,                 \
      ERROR_NOT_ENOUGH_MEMORY)                                                                     \
    X(realloc, MSVCRT, void *, (void *block, size_t size), (block, size), nullptr,                 \
      ERROR_NOT_ENOUGH_MEMORY)

namespace platform {

#define ZIBTEST_CALLING(from) ZIBTEST_CALLING_##from
#define ZIBTEST_CALLING_KERNEL32 WINAPI
#define ZIBTEST_CALLING_USER32 WINAPI
#define ZIBTEST_CALLING_LOOKED_UP WINAPI
#define ZIBTEST_CALLING_STACK_CHECK WINAPI
#define ZIBTEST_CALLING_MSVCRT __cdecl
#define ZIBTEST_OVERRIDE(call, from, returns, parameters, arguments, failure, error)               \
    std::function<returns parameters> call;
#define ZIBTEST_REAL(call, from, returns, parameters, arguments, failure, error)                   \
    returns(ZIBTEST_CALLING(from) * call) parameters;

// What a test may put in place of a real platform call. An empty override
// passes the call on to the platform; an override may call real() itself.
// The heap's calls are never overridden, only failed.
struct Overrides {
    ZIBTEST_PLATFORM_CALLS(ZIBTEST_OVERRIDE)
};

struct Real {
    ZIBTEST_PLATFORM_CALLS(ZIBTEST_REAL)
};

enum class Watch { everything, heap };

// Routes the module's imports through the fakes (again after every load):
// every call of the table, or only the heap's (for a program that watches
// its own heap).
void install(HMODULE module, Watch watch = Watch::everything);

// Gives the module its heap functions back.
void uninstall(HMODULE module);

// Drops every override, planned failure and count, and forgets every snapshot
// and the sizes asked.
void reset();

// Drops the counts and planned failures alone.
void forgetCalls();

// Forgets every heap block, as if none were alive, and every stray free.
void forgetBlocks();

Overrides &overrides();
const Real &real();

// A call that the fakes can fail, and how its failure looks.
struct Failable {
    const char *function;  // as the table names it
    DWORD error;           // a plausible last-error code for its failure
    bool heap;             // an allocation of the C runtime's heap
};
const std::vector<Failable> &failableCalls();

// Which calls of a function fail, counted from now: count calls from the
// first (1: the next call). everyLater fails that one and all after it.
const unsigned everyLater = UINT_MAX;
const DWORD tableError = ~DWORD{0};
struct Failure {
    unsigned first = 1;
    unsigned count = 1;
    DWORD error = tableError;  // the last-error code a platform call sets
};

// The named function ("allocation": any of malloc, calloc and realloc) fails
// as planned, returning what it returns on failure.
void fail(const std::string &function, Failure failure = {});

// How often the module called the named function since the last reset.
unsigned callCount(const std::string &function);

// Snapshots the module took and has not closed.
int openSnapshots();

// Heap blocks the module allocated and has not freed; the size asked of each
// allocation since the last reset; frees of blocks it never had.
std::size_t liveBlocks();
std::vector<std::size_t> requestedSizes();
unsigned strayFrees();

// Functions the module imports from dll that no fake stands in front of.
std::vector<std::string> unwatchedImports(HMODULE module, const char *dllName);

}  // namespace platform
