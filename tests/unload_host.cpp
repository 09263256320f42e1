// A host process of the tests' own that loads, uses and unloads the DLL the
// way a host does when a script session ends. The unloading tests start it
// and read its exit status and output: should the DLL's code be gone while a
// window still calls it, this process dies, not the test suite.
//
// usage: unload_host hooked ANSI|Unicode   unloads under a hooked window
//        unload_host never-hooked          unloads after every entry but a hook
//        unload_host attach-failed         unloads after an attach that failed
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dll_test.h"

namespace {

int failures = 0;

void check(bool ok, const std::string &what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
    std::fflush(stdout);
    if (!ok) ++failures;
}

struct Host {
    HMODULE dll = nullptr;
    const XtableEntry *table = nullptr;
    FreeResult freeResult = nullptr;
};

const std::string dllPath = besideThisProgram("zibwin32.dll");

bool load(Host *host) {
    host->dll = LoadLibraryA(dllPath.c_str());
    if (host->dll == nullptr) return false;
    auto get = reinterpret_cast<GetXtable>(
        reinterpret_cast<void *>(GetProcAddress(host->dll, "getXtable")));
    const char *name = nullptr;
    get(nullptr, nullptr, &name, &host->table, &host->freeResult);
    return true;
}

// Calls an entry as the host does; the text it returned, "(null)" for none.
std::string call(const Host &host, const char *entry, std::vector<std::string> args = {}) {
    std::vector<char *> argv;
    for (std::string &arg : args) argv.push_back(&arg[0]);
    for (const XtableEntry *row = host.table; row->name[0] != '\0'; ++row) {
        if (std::strcmp(row->name, entry) != 0) continue;
        char *result = nullptr;
        int32_t first, second;
        row->handler(argv.data(), static_cast<int32_t>(argv.size()), &result, &first, &second);
        std::string text = result ? result : "(null)";
        host.freeResult(result);
        return text;
    }
    return "(no such entry)";
}

bool moduleLoaded() { return GetModuleHandleA(dllPath.c_str()) != nullptr; }

bool hooked(HWND window) { return GetPropA(window, "ZIBWIN32_DATA") != nullptr; }

void unloadUnderAHookedWindow(CharacterSet set) {
    Host host;
    check(load(&host), "loaded");
    HWND window = createTestWindow(set);
    WNDPROC ownProc = currentProcOf(window);
    bool hookedInside = true;
    reactTo(window, WM_NCDESTROY, [&](HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
        hookedInside = hooked(w);
        return set == CharacterSet::Unicode ? DefWindowProcW(w, message, wParam, lParam)
                                            : DefWindowProcA(w, message, wParam, lParam);
    });
    call(host, "zibWin32Attach", {idOf(window)});
    check(hooked(window), "the window is hooked");
    FreeLibrary(host.dll);
    check(moduleLoaded(), "the module stays loaded under the hooked window");
    reactTo(window, WM_USER + 1, [](HWND, UINT, WPARAM wParam, LPARAM) { return LRESULT(wParam * 2); });
    check(SendMessageW(window, WM_USER + 1, 21, 0) == 42 && timesSeen(window, WM_USER + 1) == 1,
          "messages reach the window's own procedure");
    check(SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"after unload")) == TRUE,
          "text reaches it too");
    DestroyWindow(window);
    check(logOf(window).destroyed, "WM_NCDESTROY reaches the window's own procedure");
    check(!hookedInside, "the window unhooked itself before its own WM_NCDESTROY");

    HMODULE before = GetModuleHandleA(dllPath.c_str());
    check(load(&host), "loaded again");
    check(host.dll == before, "the same module");
    check(!call(host, "zibWin32EnumerateProcesses").empty(), "the process list works");
    HWND again = createTestWindow(set);
    call(host, "zibWin32Attach", {idOf(again)});
    call(host, "zibWin32SetAutoplayMode", {idOf(again), "deny"});
    check(SendMessageA(again, RegisterWindowMessageA("QueryCancelAutoPlay"), 0, 0) == 1,
          "a window hooked again answers AutoPlay");
    call(host, "zibWin32Detach", {idOf(again)});
    check(!hooked(again) && currentProcOf(again) == ownProc, "and is unhooked again");
    DestroyWindow(again);
    FreeLibrary(host.dll);
}

void unloadWithoutAHook(bool attachFails) {
    Host host;
    check(load(&host), "loaded");
    HWND window = createTestWindow();
    call(host, "zibWin32EnumerateProcesses");
    call(host, "zibWin32EnumerateVolumes", {"fixed"});
    call(host, "zibWin32SetAutoplayMode", {idOf(window), "deny"});
    call(host, "zibWin32Detach", {idOf(window)});
    call(host, "zibWin32Attach", {"0"});
    if (attachFails) {
        platform::install(host.dll);
        platform::failCall("SetPropA", ERROR_NOT_ENOUGH_MEMORY);
        call(host, "zibWin32Attach", {idOf(window)});
        check(!hooked(window), "the attach failed");
    }
    FreeLibrary(host.dll);
    check(!moduleLoaded(), "the module is gone");
    DestroyWindow(window);
}

}  // namespace

int main(int argc, char **argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    std::string set = argc > 2 ? argv[2] : "";
    if (mode == "hooked" && (set == "ANSI" || set == "Unicode"))
        unloadUnderAHookedWindow(set == "Unicode" ? CharacterSet::Unicode : CharacterSet::Ansi);
    else if (mode == "never-hooked" || mode == "attach-failed")
        unloadWithoutAHook(mode == "attach-failed");
    else
        return 2;
    std::printf("%s\n", failures == 0 ? "host finished" : "host failed");
    return failures == 0 ? 0 : 1;
}
