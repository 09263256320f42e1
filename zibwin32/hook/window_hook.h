// Hooking a window: the library's window procedure goes in front of the
// window's own, with its state kept on the window as a property.
#ifndef ZIBWIN32_HOOK_WINDOW_HOOK_H
#define ZIBWIN32_HOOK_WINDOW_HOOK_H

#include <windows.h>
#include <stdint.h>

// Owned by the window it is attached to, from attach until detach.
struct WindowHookRecord {
    int32_t subclassed;      // 1 once the window procedure was replaced
    WNDPROC previousProc;    // the procedure that was in place before
    int32_t autoplayAnswer;  // the reply to the AutoPlay query: 1 cancels
    // 1 for a window that was Unicode when it was hooked: previousProc was
    // taken, and is put back, through the Unicode calls.
    int32_t unicode;
};

// The registered AutoPlay query, or 0 while no mode was ever set: hooked
// windows answer it themselves only once it is known.
extern UINT autoplayMessage;

// The record of a hooked window, or null when the window is not hooked.
WindowHookRecord *hookRecordOf(HWND window);

// Returns 1 when the window is now hooked, 0 when it is exactly as before.
int attachWindow(HWND window);

// Unhooks the window if it is hooked and the hook is its current procedure.
// While another subclass stands in front of the hook the window stays hooked:
// that subclass forwards to the hook and puts it back when it goes.
void detachWindow(HWND window);

// The hook of an ANSI window and the hook of a Unicode window. Each works in
// its window's own character set, so that the window keeps its text.
LRESULT CALLBACK hookWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK hookWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
