// Real windows for the hook tests, each with a procedure of its own that
// records the messages it sees and can be told how to react to one.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

using Reaction = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

struct WindowLog {
    std::vector<UINT> messages;  // every message the window's own procedure saw
    bool destroyed = false;      // its own procedure saw WM_NCDESTROY
};

// The procedure every test window is created with.
LRESULT CALLBACK recordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A hidden top-level window of the calling thread.
HWND createTestWindow();

// Destroys every test window still alive and forgets every log.
void destroyTestWindows();

// What the window's own procedure has seen so far.
const WindowLog &logOf(HWND window);

// How many times the window's own procedure saw the message.
int timesSeen(HWND window, UINT message);

// From now on the window's own procedure answers the message through
// reaction instead of the default procedure.
void reactTo(HWND window, UINT message, Reaction reaction);

// The window id as a script writes it: the handle as a signed decimal.
std::string idOf(HWND window);

WNDPROC currentProcOf(HWND window);

// A window created and pumped by a thread of its own.
struct ForeignWindow {
    HWND window = nullptr;
    HANDLE thread = nullptr;
    DWORD threadId = 0;
};
ForeignWindow startForeignWindow();
void stopForeignWindow(ForeignWindow &foreign);
