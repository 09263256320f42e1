#include "test_windows.h"

#include <map>

#include "host_calls.h"

namespace {

std::map<HWND, WindowLog> logs;
std::map<std::pair<HWND, UINT>, Reaction> reactions;
std::vector<UINT> traced;
Chain chain;

// Logs the message; returns the test's reaction to it, if it has one.
const Reaction *recorded(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool unicode) {
    auto log = logs.find(window);
    if (log != logs.end()) {
        WindowLog &entry = log->second;
        entry.messages.push_back(message);
        seenBy("window", message);
        if (message == WM_NCDESTROY) entry.destroyed = true;
        if (message == WM_CHAR) entry.characters.push_back(wParam);
        if (message == WM_SETTEXT && lParam != 0)
            entry.texts.push_back(unicode ? std::wstring(reinterpret_cast<const wchar_t *>(lParam))
                                          : widened(reinterpret_cast<const char *>(lParam)));
    }
    auto reaction = reactions.find({window, message});
    return reaction == reactions.end() ? nullptr : &reaction->second;
}

}  // namespace

std::wstring widened(const char *text) {
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(length > 0 ? length - 1 : 0, L'\0');
    if (length > 1) MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    return wide;
}

const char *nameOf(CharacterSet set) { return set == CharacterSet::Unicode ? "Unicode" : "ANSI"; }

void traceChain(std::vector<UINT> messages) {
    traced = std::move(messages);
    chain.clear();
}

void seenBy(const char *procedure, UINT message) {
    for (UINT tracedMessage : traced)
        if (message == tracedMessage) chain.push_back({procedure, message});
}

Chain takeChain() {
    Chain taken;
    taken.swap(chain);
    return taken;
}

const char hookProperty[] = "ZIBWIN32_DATA";

bool isHooked(HWND window) { return GetPropA(window, hookProperty) != nullptr; }

LRESULT CALLBACK recordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (const Reaction *reaction = recorded(window, message, wParam, lParam, false)) {
        Reaction react = *reaction;  // it may change the reactions
        return react(window, message, wParam, lParam);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK recordingWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (const Reaction *reaction = recorded(window, message, wParam, lParam, true)) {
        Reaction react = *reaction;
        return react(window, message, wParam, lParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND createTestWindow(CharacterSet set) {
    bool unicode = set == CharacterSet::Unicode;
    HWND window = createHostWindow(unicode ? "ZibTestWindowW" : "ZibTestWindow",
                                   unicode ? recordingWindowProcW : recordingWindowProc, unicode);
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

WNDPROC currentProcOf(HWND window) {
    return reinterpret_cast<WNDPROC>(IsWindowUnicode(window)
                                         ? GetWindowLongPtrW(window, GWLP_WNDPROC)
                                         : GetWindowLongPtrA(window, GWLP_WNDPROC));
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
