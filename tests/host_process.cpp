// A host process of the tests' own: it loads, uses and unloads the DLL the
// way a host does when a script session ends, or has the DLL find its stack
// overrun. The tests start it and read its exit status and output: should
// the DLL's code be gone while a window still calls it, or the stack be
// overrun, this process ends, not the test suite.
//
// usage: host_process hooked ANSI|Unicode   unloads under a hooked window
//        host_process never-hooked          unloads after every entry but a hook
//        host_process attach-failed         unloads after an attach that failed
//        host_process overrun fast-fail|no-fast-fail|no-fast-fail-nor-terminate
//                                           overruns the stack of a volume list
//        host_process code-page utf-8|ansi  texts outside cp1252 as this host's
//                                           code page gives them (host_process_utf8
//                                           is this host with a UTF-8 manifest)
#include <cstdio>
#include <string>
#include <vector>

#include "host_calls.h"
#include "import_patch.h"
#include "platform_fakes.h"
#include "test_windows.h"

namespace {

int failures = 0;

void check(bool ok, const std::string &what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
    if (!ok) ++failures;
}

const std::string dllPath = besideThisProgram("zibwin32.dll");

bool load(LoadedLibrary *library) {
    std::string error;
    return loadLibrary(dllPath, library, &error);
}

// Calls an entry as the host does; the text it returned.
std::string call(const LoadedLibrary &library, const char *entry,
                 const std::vector<std::string> &args = {}) {
    return callEntry(library, *findEntry(library, entry), args).text;
}

bool moduleLoaded() { return GetModuleHandleA(dllPath.c_str()) != nullptr; }

void unloadUnderAHookedWindow(CharacterSet set) {
    LoadedLibrary host;
    check(load(&host), "loaded");
    HWND window = createTestWindow(set);
    WNDPROC ownProc = currentProcOf(window);
    bool hookedInside = true;
    reactTo(window, WM_NCDESTROY, [&](HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
        hookedInside = isHooked(w);
        return set == CharacterSet::Unicode ? DefWindowProcW(w, message, wParam, lParam)
                                            : DefWindowProcA(w, message, wParam, lParam);
    });
    call(host, "zibWin32Attach", {idOf(window)});
    check(isHooked(window), "the window is hooked");
    // Freed more often than loaded, as a host that unloads it after each script may.
    for (int frees = 0; frees < 11; ++frees) FreeLibrary(host.module);
    check(moduleLoaded(), "the module stays loaded under the hooked window");
    reactTo(window, WM_USER + 1,
            [](HWND, UINT, WPARAM wParam, LPARAM) { return LRESULT(wParam * 2); });
    check(SendMessageW(window, WM_USER + 1, 21, 0) == 42 && timesSeen(window, WM_USER + 1) == 1,
          "messages reach the window's own procedure");
    DestroyWindow(window);
    check(logOf(window).destroyed, "WM_NCDESTROY reaches the window's own procedure");
    check(!hookedInside, "the window unhooked itself before its own WM_NCDESTROY");

    HMODULE before = GetModuleHandleA(dllPath.c_str());
    check(load(&host), "loaded again");
    check(host.module == before, "the same module");
    check(!call(host, "zibWin32EnumerateProcesses").empty(), "the process list works");
    HWND again = createTestWindow(set);
    call(host, "zibWin32Attach", {idOf(again)});
    check(isHooked(again), "a window is hooked again");
    call(host, "zibWin32Detach", {idOf(again)});
    check(!isHooked(again) && currentProcOf(again) == ownProc, "and unhooked again");
    DestroyWindow(again);
    FreeLibrary(host.module);
}

void unloadWithoutAHook(bool attachFails) {
    LoadedLibrary host;
    check(load(&host), "loaded");
    HWND window = createTestWindow();
    call(host, "zibWin32EnumerateProcesses");
    call(host, "zibWin32EnumerateVolumes", {"fixed"});
    call(host, "zibWin32SetAutoplayMode", {idOf(window), "deny"});
    call(host, "zibWin32Detach", {idOf(window)});
    call(host, "zibWin32Attach", {"0"});
    if (attachFails) {
        platform::install(host.module);
        platform::fail("SetPropA", {1, 1, ERROR_NOT_ENOUGH_MEMORY});
        call(host, "zibWin32Attach", {idOf(window)});
        check(!isHooked(window), "the attach failed");
    }
    FreeLibrary(host.module);
    check(!moduleLoaded(), "the module is gone");
    DestroyWindow(window);
}

LONG WINAPI
handlerOfTheHost(EXCEPTION_POINTERS *exception) {  // ends the host, with the exception's code
    std::printf("the host's handler ran\n");
    return TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
}

// A buffer overrun shows as a stack cookie that no longer matches the one the
// function started with: here the cookie itself changes while the volume list
// reads a label. The process must end there, never return to the host; the
// DLL's calls and the host's handler tell how it ended.
void overrunTheStack(const std::string &system) {
    LoadedLibrary host;
    check(load(&host), "loaded");
    uintptr_t cookieAddress = loadConfigField(host.module, loadConfigLayout::securityCookie);
    auto *cookie = reinterpret_cast<uintptr_t *>(cookieAddress);
    AddVectoredExceptionHandler(1, handlerOfTheHost);
    platform::install(host.module);
    platform::overrides().IsProcessorFeaturePresent = [system](DWORD feature) {
        std::printf("asked for processor feature %lu\n", feature);
        if (feature == PF_FASTFAIL_AVAILABLE) return BOOL{system == "fast-fail"};
        return platform::real().IsProcessorFeaturePresent(feature);
    };
    platform::overrides().TerminateProcess = [system](HANDLE process, UINT code) {
        std::printf("TerminateProcess of %s with 0x%X\n",
                    process == GetCurrentProcess() ? "itself" : "another", code);
        return system == "no-fast-fail" && platform::real().TerminateProcess(process, code);
    };
    platform::overrides().GetVolumeInformationA = [cookie](LPCSTR root, LPSTR label, DWORD size,
                                                           auto...) {
        ++*cookie;  // never back to the value it started with, however many reads
        return platform::real().GetVolumeInformationA(root, label, size, nullptr, nullptr, nullptr,
                                                      nullptr, 0);
    };
    call(host, "zibWin32EnumerateVolumes");
    check(false, "the volume list returned");
}

// A volume label and a process's file name outside cp1252 (L: of the test
// prefix is "ZÉ中", and a copy of this host runs as "Жук.exe") come back as
// the bytes of the host's code page.
void textsInTheCodePage(bool utf8) {
    LoadedLibrary host;
    check(load(&host) && (GetACP() == CP_UTF8) == utf8, "code page " + std::to_string(GetACP()));
    std::string label = utf8 ? "Z\xC3\x89\xE4\xB8\xAD" : "Z\xC9?";
    std::string name = utf8 ? "\xD0\x96\xD1\x83\xD0\xBA.exe" : "???.exe";
    check(call(host, "zibWin32EnumerateVolumes", {"fixed"}).find("L:,fixed," + label + "\n") !=
              std::string::npos,
          "the label");
    wchar_t self[MAX_PATH];
    std::wstring copy(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    copy.replace(copy.find_last_of(L'\\') + 1, std::wstring::npos, L"\u0416\u0443\u043A.exe");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child;
    check(CopyFileW(self, copy.c_str(), FALSE) &&
              CreateProcessW(copy.c_str(), nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                             nullptr, nullptr, &startup, &child),
          "started");
    check(call(host, "zibWin32EnumerateProcesses").find("\n" + name + "\n") != std::string::npos,
          "the process name");
    TerminateProcess(child.hProcess, 0);
    WaitForSingleObject(child.hProcess, INFINITE);  // its handles close as this host ends
    DeleteFileW(copy.c_str());
}

// A copy of the DLL whose load configuration names no cookie, so that no loader
// seeds it: the cookie at COOKIE (an RVA) as the load entry seeded it in this
// process.
void seededCookie(const std::string &copy, uintptr_t cookie) {
    HMODULE module = LoadLibraryA(copy.c_str());
    check(module != nullptr, "loaded " + copy);
    if (module)
        std::printf("cookie %llx\n", static_cast<unsigned long long>(*reinterpret_cast<uintptr_t *>(
                                         reinterpret_cast<BYTE *>(module) + cookie)));
}

}  // namespace

int main(int argc, char **argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);  // every line is out, however the process ends
    std::string mode = argc > 1 ? argv[1] : "";
    std::string set = argc > 2 ? argv[2] : "";
    if (mode == "hooked" && (set == "ANSI" || set == "Unicode"))
        unloadUnderAHookedWindow(set == "Unicode" ? CharacterSet::Unicode : CharacterSet::Ansi);
    else if (mode == "never-hooked" || mode == "attach-failed")
        unloadWithoutAHook(mode == "attach-failed");
    else if (mode == "overrun" && set.find("fast-fail") != std::string::npos)
        overrunTheStack(set);
    else if (mode == "code-page" && (set == "utf-8" || set == "ansi"))
        textsInTheCodePage(set == "utf-8");
    else if (mode == "cookie" && argc > 3)
        seededCookie(set, std::stoull(argv[3]));
    else
        return 2;
    std::printf("%s\n", failures == 0 ? "host finished" : "host failed");
    return failures == 0 ? 0 : 1;
}
