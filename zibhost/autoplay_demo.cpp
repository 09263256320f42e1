#include "autoplay_demo.h"

#include <cstdio>

namespace {

LRESULT CALLBACK demoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

WNDPROC procOf(HWND window) {
    return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
}

}  // namespace

int runAutoplayDemo(const LoadedLibrary &library) {
    HWND window = createHostWindow("ZibHostDemo", demoWindowProc);
    if (window == nullptr) {
        std::fprintf(stderr, "zibhost: cannot create a window (error %lu)\n", GetLastError());
        return 1;
    }
    const std::string id = idOf(window);
    const UINT query = RegisterWindowMessageA("QueryCancelAutoPlay");
    const WNDPROC ownProc = procOf(window);
    int failures = 0;
    auto run = [&](const char *entry, std::vector<std::string> args) {
        std::printf("> %s", entry);
        for (const std::string &arg : args) std::printf(" %s", arg.c_str());
        std::printf("\n");
        callEntry(library, *findEntry(library, entry), args);
    };
    auto ask = [&](LRESULT expected) {
        LRESULT answer = SendMessageA(window, query, 0, 0);
        std::printf("  QueryCancelAutoPlay answered %ld (%s)\n", static_cast<long>(answer),
                    answer ? "AutoPlay cancelled" : "AutoPlay goes ahead");
        failures += answer != expected;
    };

    std::printf("window %s, own procedure %p\n", id.c_str(), reinterpret_cast<void *>(ownProc));
    run("zibWin32Attach", {id});
    std::printf("  procedure now %p\n", reinterpret_cast<void *>(procOf(window)));
    run("zibWin32SetAutoplayMode", {id, "deny"});
    ask(1);
    run("zibWin32SetAutoplayMode", {id, "allow"});
    ask(0);
    run("zibWin32SetAutoplayMode", {id, "deny"});
    ask(1);
    run("zibWin32Detach", {id});
    bool restored = procOf(window) == ownProc;
    std::printf("  procedure back to %p: %s\n", reinterpret_cast<void *>(procOf(window)),
                restored ? "the window's own" : "NOT the window's own");
    failures += !restored;
    DestroyWindow(window);
    std::printf(failures ? "round trip FAILED\n" : "round trip ok\n");
    return failures ? 1 : 0;
}
