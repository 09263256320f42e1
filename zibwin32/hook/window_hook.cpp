#include "hook/window_hook.h"

#include <stdlib.h>

UINT autoplayMessage = 0;

namespace {

const char hookProperty[] = "ZIBWIN32_DATA";

// Set once a window was hooked: from then on the module stays loaded.
int modulePinned = 0;

// The window procedure is read and written in the character set the hook
// works in: through the ANSI call the system would turn a Unicode window into
// an ANSI one and squeeze every text of it through the ANSI code page.
WNDPROC replaceWindowProc(HWND window, WNDPROC proc, int unicode) {
    LONG_PTR value = reinterpret_cast<LONG_PTR>(proc);
    return reinterpret_cast<WNDPROC>(unicode ? SetWindowLongPtrW(window, GWLP_WNDPROC, value)
                                             : SetWindowLongPtrA(window, GWLP_WNDPROC, value));
}

// A replaced procedure may be 0, so only the last error tells failure.
int restoreWindowProc(HWND window, const WindowHookRecord *record) {
    SetLastError(0);
    replaceWindowProc(window, record->previousProc, record->unicode);
    return GetLastError() == 0;
}

// A hooked window calls into this module for every message, and a host may
// unload the module while one is still hooked. Pinned, the module stays
// mapped for the rest of the process; a host that never hooked a window
// still unloads it completely.
int pinModule() {
    if (modulePinned) return 1;
    HMODULE self;
    modulePinned = GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
        reinterpret_cast<LPCWSTR>(reinterpret_cast<void *>(hookWindowProc)), &self) != FALSE;
    return modulePinned;
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
    int restored = !record->subclassed || restoreWindowProc(window, record);
    // The hook still stands in front of the window: the record goes back to it.
    if (!restored && !windowIsGoing && SetPropA(window, hookProperty, record)) return;
    free(record);
}

// Both hooks are this one, in the character set of their window.
inline LRESULT hookedMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                             int unicode) {
    WindowHookRecord *record = hookRecordOf(window);
    if (record == nullptr)
        return unicode ? DefWindowProcW(window, message, wParam, lParam)
                       : DefWindowProcA(window, message, wParam, lParam);
    // Taken now: the record is gone once the window is unhooked below, or by
    // anything the previous procedure does with this window.
    WNDPROC previous = record->previousProc;
    if (autoplayMessage != 0 && message == autoplayMessage) return record->autoplayAnswer;
    if (message == WM_NCDESTROY) unhookWindow(window, 1);
    return unicode ? CallWindowProcW(previous, window, message, wParam, lParam)
                   : CallWindowProcA(previous, window, message, wParam, lParam);
}

// Gives the window its procedure back and drops the record of an attach
// that cannot be finished; returns 0, the outcome of that attach.
int abandonAttach(HWND window, WindowHookRecord *record) {
    replaceWindowProc(window, record->previousProc, record->unicode);
    free(record);
    return 0;
}

}  // namespace

WindowHookRecord *hookRecordOf(HWND window) {
    return static_cast<WindowHookRecord *>(GetPropA(window, hookProperty));
}

int attachWindow(HWND window) {
    WindowHookRecord *record = static_cast<WindowHookRecord *>(calloc(1, sizeof *record));
    if (record == nullptr) return 0;
    // Decided once: a subclass installed later may change the window's
    // character set, but not the one in which the hook's own neighbour works.
    record->unicode = IsWindowUnicode(window) != FALSE;
    WNDPROC hook = record->unicode ? hookWindowProcW : hookWindowProc;
    // A window may have had no procedure at all, so only the last error tells
    // whether the replacement took place.
    SetLastError(0);
    record->previousProc = replaceWindowProc(window, hook, record->unicode);
    record->subclassed = GetLastError() == 0;
    // Replacing the hook with itself changed nothing, and a record that chained
    // to the hook would send every message round in a circle. That happens when
    // a hooked window lost its property to someone else.
    if (!record->subclassed || record->previousProc == hookWindowProc ||
        record->previousProc == hookWindowProcW) {
        free(record);
        return 0;
    }
    if (!SetPropA(window, hookProperty, record)) return abandonAttach(window, record);
    if (!pinModule()) {
        RemovePropA(window, hookProperty);
        return abandonAttach(window, record);
    }
    record->autoplayAnswer = 0;
    return 1;
}

void detachWindow(HWND window) { unhookWindow(window, 0); }

LRESULT CALLBACK hookWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return hookedMessage(window, message, wParam, lParam, 0);
}

LRESULT CALLBACK hookWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return hookedMessage(window, message, wParam, lParam, 1);
}
