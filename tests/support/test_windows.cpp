#include "test_windows.h"

#include <map>

namespace {

const char className[] = "ZibTestWindow";

std::map<HWND, WindowLog> logs;
std::map<std::pair<HWND, UINT>, Reaction> reactions;

void registerClassOnce() {
    static bool registered = false;
    if (registered) return;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = recordingWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    registered = RegisterClassA(&windowClass) != 0;
}

}  // namespace

LRESULT CALLBACK recordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto log = logs.find(window);
    if (log != logs.end()) {
        log->second.messages.push_back(message);
        if (message == WM_NCDESTROY) log->second.destroyed = true;
    }
    auto reaction = reactions.find({window, message});
    if (reaction != reactions.end()) {
        Reaction react = reaction->second;  // it may change the reactions
        return react(window, message, wParam, lParam);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND createTestWindow() {
    registerClassOnce();
    HWND window = CreateWindowExA(0, className, "zib test", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window) logs[window];
    return window;
}

void destroyTestWindows() {
    std::vector<HWND> windows;
    for (auto &entry : logs)
        if (!entry.second.destroyed && IsWindow(entry.first)) windows.push_back(entry.first);
    for (HWND window : windows) DestroyWindow(window);
    logs.clear();
    reactions.clear();
}

const WindowLog &logOf(HWND window) { return logs[window]; }

int timesSeen(HWND window, UINT message) {
    int times = 0;
    for (UINT seen : logs[window].messages) times += seen == message;
    return times;
}

void reactTo(HWND window, UINT message, Reaction reaction) {
    reactions[{window, message}] = std::move(reaction);
}

std::string idOf(HWND window) {
    return std::to_string(static_cast<int32_t>(reinterpret_cast<intptr_t>(window)));
}

WNDPROC currentProcOf(HWND window) {
    return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
}

namespace {

struct ForeignStart {
    HANDLE ready;
    HWND window;
};

DWORD WINAPI foreignThread(void *param) {
    auto *start = static_cast<ForeignStart *>(param);
    start->window = CreateWindowExA(0, "STATIC", "foreign", 0, 0, 0, 10, 10, nullptr, nullptr,
                                    nullptr, nullptr);
    SetEvent(start->ready);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    if (IsWindow(start->window)) DestroyWindow(start->window);
    return 0;
}

}  // namespace

ForeignWindow startForeignWindow() {
    ForeignStart start{CreateEventA(nullptr, TRUE, FALSE, nullptr), nullptr};
    ForeignWindow foreign;
    foreign.thread = CreateThread(nullptr, 0, foreignThread, &start, 0, &foreign.threadId);
    WaitForSingleObject(start.ready, INFINITE);
    CloseHandle(start.ready);
    foreign.window = start.window;
    return foreign;
}

void stopForeignWindow(ForeignWindow &foreign) {
    PostThreadMessageA(foreign.threadId, WM_QUIT, 0, 0);
    WaitForSingleObject(foreign.thread, INFINITE);
    CloseHandle(foreign.thread);
    foreign = ForeignWindow{};
}
