// Stands between the DLL and the platform: every kernel32 and user32 call the
// DLL makes that can fail goes through a fake that passes it on to the real
// function, unless a test asked it to fail or to answer in its own way.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <functional>
#include <string>
#include <vector>

namespace platform {

// What a test may put in place of a real call. An empty override passes the
// call on to the platform; an override may call real() itself.
struct Overrides {
    std::function<HANDLE(DWORD, DWORD)> CreateToolhelp32Snapshot;
    std::function<BOOL(HANDLE, PROCESSENTRY32 *)> Process32First;
    std::function<BOOL(HANDLE, PROCESSENTRY32 *)> Process32Next;
    std::function<DWORD(DWORD, LPSTR)> GetLogicalDriveStringsA;
    std::function<UINT(LPCSTR)> GetDriveTypeA;
    // Only the label is ever asked for.
    std::function<BOOL(LPCSTR root, LPSTR label, DWORD labelSize)> GetVolumeInformationA;
    std::function<LONG_PTR(HWND, int, LONG_PTR)> SetWindowLongA;
    std::function<BOOL(HWND, LPCSTR, HANDLE)> SetPropA;
    std::function<HANDLE(HWND, LPCSTR)> GetPropA;
    std::function<UINT(LPCSTR)> RegisterWindowMessageA;
    std::function<FARPROC(HMODULE, LPCSTR)> GetProcAddress;
};

struct Real {
    decltype(&::CreateToolhelp32Snapshot) CreateToolhelp32Snapshot;
    decltype(&::Process32First) Process32First;
    decltype(&::Process32Next) Process32Next;
    decltype(&::CloseHandle) CloseHandle;
    decltype(&::GetLogicalDriveStringsA) GetLogicalDriveStringsA;
    decltype(&::GetDriveTypeA) GetDriveTypeA;
    decltype(&::GetVolumeInformationA) GetVolumeInformationA;
    decltype(&::GetPropA) GetPropA;
    decltype(&::SetPropA) SetPropA;
    decltype(&::RemovePropA) RemovePropA;
    decltype(&::RegisterWindowMessageA) RegisterWindowMessageA;
    decltype(&::GetWindowThreadProcessId) GetWindowThreadProcessId;
    decltype(&::CallWindowProcA) CallWindowProcA;
    decltype(&::DefWindowProcA) DefWindowProcA;
    decltype(&::GetModuleHandleA) GetModuleHandleA;
    decltype(&::GetProcAddress) GetProcAddress;
    decltype(&::GetModuleHandleExW) GetModuleHandleExW;
    decltype(&::SetThreadErrorMode) SetThreadErrorMode;
    decltype(&::CallWindowProcW) CallWindowProcW;
    decltype(&::DefWindowProcW) DefWindowProcW;
    LONG_PTR(WINAPI *SetWindowLongA)(HWND, int, LONG_PTR);
    LONG_PTR(WINAPI *SetWindowLongW)(HWND, int, LONG_PTR);
};

// Routes the DLL's imports through the fakes (again after every load).
void install(HMODULE dll);

// Drops every override, planned failure and count.
void reset();

Overrides &overrides();
const Real &real();

// A platform call that the fakes can fail, and how its failure looks.
struct Failable {
    const char *dll;
    const char *function;  // as the DLL imports or looks it up; SetWindowLongA
                           // and SetWindowLongW stand for the Ptr forms too
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
