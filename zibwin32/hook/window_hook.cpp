#include "hook/window_hook.h"

#include <stdlib.h>

UINT autoplayMessage = 0;

namespace {

const char hookProperty[] = "ZIBWIN32_DATA";

WNDPROC replaceWindowProc(HWND window, WNDPROC proc) {
    return reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc)));
}

// A replaced procedure may be 0, so only the last error tells failure.
int restoreWindowProc(HWND window, WNDPROC proc) {
    SetLastError(0);
    replaceWindowProc(window, proc);
    return GetLastError() == 0;
}

// A live window that cannot be unhooked whole stays hooked and keeps its
// record, so that its property never names a released block and the hook
// never runs without its record. A window that is going away gives its
// record up whatever fails: nothing would find the record afterwards.
void unhookWindow(HWND window, int windowIsGoing) {
    WindowHookRecord *record = hookRecordOf(window);
    if (record == nullptr) return;
    int removed = RemovePropA(window, hookProperty) != nullptr;
    if (!removed && !windowIsGoing) return;
    int restored = !record->subclassed || restoreWindowProc(window, record->previousProc);
    // The hook still stands in front of the window: the record goes back to it.
    if (!restored && !windowIsGoing && SetPropA(window, hookProperty, record)) return;
    free(record);
}

}  // namespace

WindowHookRecord *hookRecordOf(HWND window) {
    return static_cast<WindowHookRecord *>(GetPropA(window, hookProperty));
}

int attachWindow(HWND window) {
    WindowHookRecord *record = static_cast<WindowHookRecord *>(calloc(1, sizeof *record));
    if (record == nullptr) return 0;
    // A window may have had no procedure at all, so only the last error tells
    // whether the replacement took place.
    SetLastError(0);
    record->previousProc = replaceWindowProc(window, hookWindowProc);
    record->subclassed = GetLastError() == 0;
    // Replacing the hook with itself changed nothing, and a record that chained
    // to the hook would send every message round in a circle. That happens when
    // a hooked window lost its property to someone else.
    if (!record->subclassed || record->previousProc == hookWindowProc) {
        free(record);
        return 0;
    }
    if (!SetPropA(window, hookProperty, record)) {
        replaceWindowProc(window, record->previousProc);
        free(record);
        return 0;
    }
    record->autoplayAnswer = 0;
    return 1;
}

void detachWindow(HWND window) { unhookWindow(window, 0); }

LRESULT CALLBACK hookWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowHookRecord *record = hookRecordOf(window);
    if (record == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    // Taken now: the record is gone once the window is unhooked below, or by
    // anything the previous procedure does with this window.
    WNDPROC previous = record->previousProc;
    if (autoplayMessage != 0 && message == autoplayMessage) return record->autoplayAnswer;
    if (message == WM_NCDESTROY) unhookWindow(window, 1);
    return CallWindowProcA(previous, window, message, wParam, lParam);
}
