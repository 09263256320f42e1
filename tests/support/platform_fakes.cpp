#include "platform_fakes.h"

#include <map>
#include <set>

#include "import_patch.h"

namespace platform {
namespace {

Real reals;
Overrides current;
std::map<std::string, unsigned> calls;
std::set<HANDLE> snapshots;

struct PlannedFailure {
    std::string function;
    DWORD error;
    unsigned atCall;  // the call count at which it fails
};
std::vector<PlannedFailure> planned;

// Counts the call and tells whether it is one that must fail; if so, the
// thread's last error is already set.
bool failsNow(const char *function) {
    unsigned count = ++calls[function];
    for (const PlannedFailure &failure : planned) {
        if (failure.function == function && failure.atCall == count) {
            SetLastError(failure.error);
            return true;
        }
    }
    return false;
}

HANDLE WINAPI fakeCreateToolhelp32Snapshot(DWORD flags, DWORD process) {
    if (failsNow("CreateToolhelp32Snapshot")) return INVALID_HANDLE_VALUE;
    HANDLE snapshot = current.CreateToolhelp32Snapshot
                          ? current.CreateToolhelp32Snapshot(flags, process)
                          : reals.CreateToolhelp32Snapshot(flags, process);
    if (snapshot != INVALID_HANDLE_VALUE) snapshots.insert(snapshot);
    return snapshot;
}

BOOL WINAPI fakeProcess32First(HANDLE snapshot, PROCESSENTRY32 *entry) {
    if (failsNow("Process32First")) return FALSE;
    return current.Process32First ? current.Process32First(snapshot, entry)
                                  : reals.Process32First(snapshot, entry);
}

BOOL WINAPI fakeProcess32Next(HANDLE snapshot, PROCESSENTRY32 *entry) {
    if (failsNow("Process32Next")) return FALSE;
    return current.Process32Next ? current.Process32Next(snapshot, entry)
                                 : reals.Process32Next(snapshot, entry);
}

BOOL WINAPI fakeCloseHandle(HANDLE handle) {
    snapshots.erase(handle);
    if (failsNow("CloseHandle")) return FALSE;
    return reals.CloseHandle(handle);
}

DWORD WINAPI fakeGetLogicalDriveStringsA(DWORD size, LPSTR buffer) {
    if (failsNow("GetLogicalDriveStringsA")) return 0;
    return current.GetLogicalDriveStringsA ? current.GetLogicalDriveStringsA(size, buffer)
                                           : reals.GetLogicalDriveStringsA(size, buffer);
}

UINT WINAPI fakeGetDriveTypeA(LPCSTR root) {
    if (failsNow("GetDriveTypeA")) return DRIVE_UNKNOWN;
    return current.GetDriveTypeA ? current.GetDriveTypeA(root) : reals.GetDriveTypeA(root);
}

BOOL WINAPI fakeGetVolumeInformationA(LPCSTR root, LPSTR label, DWORD labelSize, LPDWORD serial,
                                      LPDWORD maxComponent, LPDWORD fsFlags, LPSTR fsName,
                                      DWORD fsNameSize) {
    if (failsNow("GetVolumeInformationA")) return FALSE;
    if (current.GetVolumeInformationA) return current.GetVolumeInformationA(root, label, labelSize);
    return reals.GetVolumeInformationA(root, label, labelSize, serial, maxComponent, fsFlags,
                                       fsName, fsNameSize);
}

LONG_PTR WINAPI fakeSetWindowLongA(HWND window, int index, LONG_PTR value) {
    if (failsNow("SetWindowLongA")) return 0;
    return current.SetWindowLongA ? current.SetWindowLongA(window, index, value)
                                  : reals.SetWindowLongA(window, index, value);
}

LONG_PTR WINAPI fakeSetWindowLongW(HWND window, int index, LONG_PTR value) {
    if (failsNow("SetWindowLongW")) return 0;
    return reals.SetWindowLongW(window, index, value);
}

BOOL WINAPI fakeSetPropA(HWND window, LPCSTR name, HANDLE data) {
    if (failsNow("SetPropA")) return FALSE;
    return current.SetPropA ? current.SetPropA(window, name, data)
                            : reals.SetPropA(window, name, data);
}

HANDLE WINAPI fakeGetPropA(HWND window, LPCSTR name) {
    if (failsNow("GetPropA")) return nullptr;
    return current.GetPropA ? current.GetPropA(window, name) : reals.GetPropA(window, name);
}

HANDLE WINAPI fakeRemovePropA(HWND window, LPCSTR name) {
    if (failsNow("RemovePropA")) return nullptr;
    return reals.RemovePropA(window, name);
}

UINT WINAPI fakeRegisterWindowMessageA(LPCSTR name) {
    if (failsNow("RegisterWindowMessageA")) return 0;
    return current.RegisterWindowMessageA ? current.RegisterWindowMessageA(name)
                                          : reals.RegisterWindowMessageA(name);
}

DWORD WINAPI fakeGetWindowThreadProcessId(HWND window, LPDWORD process) {
    if (failsNow("GetWindowThreadProcessId")) return 0;
    return reals.GetWindowThreadProcessId(window, process);
}

LRESULT WINAPI fakeCallWindowProcA(WNDPROC proc, HWND window, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
    if (failsNow("CallWindowProcA")) return 0;
    return reals.CallWindowProcA(proc, window, message, wParam, lParam);
}

LRESULT WINAPI fakeCallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
    if (failsNow("CallWindowProcW")) return 0;
    return reals.CallWindowProcW(proc, window, message, wParam, lParam);
}

LRESULT WINAPI fakeDefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (failsNow("DefWindowProcA")) return 0;
    return reals.DefWindowProcA(window, message, wParam, lParam);
}

LRESULT WINAPI fakeDefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (failsNow("DefWindowProcW")) return 0;
    return reals.DefWindowProcW(window, message, wParam, lParam);
}

HMODULE WINAPI fakeGetModuleHandleA(LPCSTR name) {
    if (failsNow("GetModuleHandleA")) return nullptr;
    return reals.GetModuleHandleA(name);
}

BOOL WINAPI fakeGetModuleHandleExW(DWORD flags, LPCWSTR name, HMODULE *module) {
    if (failsNow("GetModuleHandleExW")) {
        *module = nullptr;
        return FALSE;
    }
    return reals.GetModuleHandleExW(flags, name, module);
}

// Looked up by name, never imported: the fake is handed out by the look-up.
BOOL WINAPI fakeSetThreadErrorMode(DWORD mode, LPDWORD previous) {
    if (failsNow("SetThreadErrorMode")) return FALSE;
    return reals.SetThreadErrorMode(mode, previous);
}

FARPROC WINAPI fakeGetProcAddress(HMODULE module, LPCSTR name) {
    if (failsNow("GetProcAddress")) return nullptr;
    if (current.GetProcAddress) return current.GetProcAddress(module, name);
    FARPROC found = reals.GetProcAddress(module, name);
    if (found != nullptr && std::string(name) == "SetThreadErrorMode") {
        reals.SetThreadErrorMode = reinterpret_cast<decltype(reals.SetThreadErrorMode)>(
            reinterpret_cast<void *>(found));
        return reinterpret_cast<FARPROC>(reinterpret_cast<void *>(fakeSetThreadErrorMode));
    }
    return found;
}

#ifdef _WIN64
const char setWindowLongImportA[] = "SetWindowLongPtrA";
const char setWindowLongImportW[] = "SetWindowLongPtrW";
#else
const char setWindowLongImportA[] = "SetWindowLongA";
const char setWindowLongImportW[] = "SetWindowLongW";
#endif

template <typename Fn>
void route(HMODULE dll, const char *dllName, const char *function, Fn fake, Fn &real) {
    auto previous = reinterpret_cast<Fn>(
        patchImport(dll, dllName, function, reinterpret_cast<void *>(fake)));
    // A module routed before already calls the fake: the real one is known.
    if (previous != fake) real = previous;
}

// Functions the DLL imports that cannot fail, so no fake is needed: the
// window ones are asked only of live windows of the calling thread.
const std::set<std::string> infallible = {
    "GetLastError", "SetLastError", "GetCurrentThreadId", "SetErrorMode", "IsWindowUnicode",
    "GetWindowLongA", "GetWindowLongW", "GetWindowLongPtrA", "GetWindowLongPtrW"};

}  // namespace

void install(HMODULE dll) {
    const char *k = "KERNEL32.dll";
    const char *u = "USER32.dll";
    route(dll, k, "CreateToolhelp32Snapshot", fakeCreateToolhelp32Snapshot,
          reals.CreateToolhelp32Snapshot);
    route(dll, k, "Process32First", fakeProcess32First, reals.Process32First);
    route(dll, k, "Process32Next", fakeProcess32Next, reals.Process32Next);
    route(dll, k, "CloseHandle", fakeCloseHandle, reals.CloseHandle);
    route(dll, k, "GetLogicalDriveStringsA", fakeGetLogicalDriveStringsA,
          reals.GetLogicalDriveStringsA);
    route(dll, k, "GetDriveTypeA", fakeGetDriveTypeA, reals.GetDriveTypeA);
    route(dll, k, "GetVolumeInformationA", fakeGetVolumeInformationA, reals.GetVolumeInformationA);
    route(dll, k, "GetModuleHandleA", fakeGetModuleHandleA, reals.GetModuleHandleA);
    route(dll, k, "GetProcAddress", fakeGetProcAddress, reals.GetProcAddress);
    route(dll, k, "GetModuleHandleExW", fakeGetModuleHandleExW, reals.GetModuleHandleExW);
    route(dll, u, setWindowLongImportA, fakeSetWindowLongA, reals.SetWindowLongA);
    route(dll, u, setWindowLongImportW, fakeSetWindowLongW, reals.SetWindowLongW);
    route(dll, u, "SetPropA", fakeSetPropA, reals.SetPropA);
    route(dll, u, "GetPropA", fakeGetPropA, reals.GetPropA);
    route(dll, u, "RemovePropA", fakeRemovePropA, reals.RemovePropA);
    route(dll, u, "RegisterWindowMessageA", fakeRegisterWindowMessageA,
          reals.RegisterWindowMessageA);
    route(dll, u, "GetWindowThreadProcessId", fakeGetWindowThreadProcessId,
          reals.GetWindowThreadProcessId);
    route(dll, u, "CallWindowProcA", fakeCallWindowProcA, reals.CallWindowProcA);
    route(dll, u, "DefWindowProcA", fakeDefWindowProcA, reals.DefWindowProcA);
    route(dll, u, "CallWindowProcW", fakeCallWindowProcW, reals.CallWindowProcW);
    route(dll, u, "DefWindowProcW", fakeDefWindowProcW, reals.DefWindowProcW);
}

void reset() {
    current = Overrides{};
    calls.clear();
    planned.clear();
    snapshots.clear();
}

Overrides &overrides() { return current; }

const Real &real() { return reals; }

const std::vector<Failable> &failableCalls() {
    static const std::vector<Failable> all = {
        {"KERNEL32.dll", "CreateToolhelp32Snapshot", ERROR_NOT_ENOUGH_MEMORY},
        {"KERNEL32.dll", "Process32First", ERROR_ACCESS_DENIED},
        {"KERNEL32.dll", "Process32Next", ERROR_BAD_LENGTH},
        {"KERNEL32.dll", "CloseHandle", ERROR_INVALID_HANDLE},
        {"KERNEL32.dll", "GetLogicalDriveStringsA", ERROR_NOT_ENOUGH_MEMORY},
        {"KERNEL32.dll", "GetDriveTypeA", ERROR_SUCCESS},
        {"KERNEL32.dll", "GetVolumeInformationA", ERROR_ACCESS_DENIED},
        {"KERNEL32.dll", "GetModuleHandleA", ERROR_MOD_NOT_FOUND},
        {"KERNEL32.dll", "GetProcAddress", ERROR_PROC_NOT_FOUND},
        {"KERNEL32.dll", "GetModuleHandleExW", ERROR_MOD_NOT_FOUND},
        {"KERNEL32.dll", "SetThreadErrorMode", ERROR_INVALID_PARAMETER},
        {"USER32.dll", "SetWindowLongA", ERROR_ACCESS_DENIED},
        {"USER32.dll", "SetWindowLongW", ERROR_ACCESS_DENIED},
        {"USER32.dll", "SetPropA", ERROR_NOT_ENOUGH_MEMORY},
        {"USER32.dll", "GetPropA", ERROR_INVALID_WINDOW_HANDLE},
        {"USER32.dll", "RemovePropA", ERROR_INVALID_WINDOW_HANDLE},
        {"USER32.dll", "RegisterWindowMessageA", ERROR_NOT_ENOUGH_MEMORY},
        {"USER32.dll", "GetWindowThreadProcessId", ERROR_INVALID_WINDOW_HANDLE},
        {"USER32.dll", "CallWindowProcA", ERROR_INVALID_PARAMETER},
        {"USER32.dll", "DefWindowProcA", ERROR_INVALID_PARAMETER},
        {"USER32.dll", "CallWindowProcW", ERROR_INVALID_PARAMETER},
        {"USER32.dll", "DefWindowProcW", ERROR_INVALID_PARAMETER},
    };
    return all;
}

void failCall(const std::string &function, DWORD error, unsigned nth) {
    planned.push_back({function, error, calls[function] + nth});
}

unsigned callCount(const std::string &function) {
    auto found = calls.find(function);
    return found == calls.end() ? 0 : found->second;
}

int openSnapshots() { return static_cast<int>(snapshots.size()); }

std::vector<std::string> unwatchedImports(HMODULE dll, const char *dllName) {
    std::vector<std::string> unwatched;
    for (const std::string &function : importedFunctions(dll, dllName)) {
        bool watched = infallible.count(function) != 0 || function == setWindowLongImportA ||
                       function == setWindowLongImportW;
        for (const Failable &call : failableCalls()) watched |= function == call.function;
        if (!watched) unwatched.push_back(function);
    }
    return unwatched;
}

}  // namespace platform
