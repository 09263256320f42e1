#include "hook/window_hook.h"

#include <stdlib.h>

UINT autoplayMessage = 0;

namespace {

const char hookProperty[] = "ZIBWIN32_DATA";

// Two invariants hold whatever platform call fails: the hook never stands in
// a window's chain without the property that leads it to its record (it
// would have nothing to forward to, and the window would lose its own
// procedure), and no property ever names a released record. So the property
// goes on before the hook goes in and comes off only after the hook is out,
// and a record whose property cannot be removed is kept, not released.

WNDPROC hookFor(int unicode) { return unicode ? hookWindowProcW : hookWindowProc; }

// The window procedure is read and written in the character set the hook
// works in: through the ANSI call the system would turn a Unicode window into
// an ANSI one and squeeze every text of it through the ANSI code page.
WNDPROC replaceWindowProc(HWND window, WNDPROC proc, int unicode) {
    LONG_PTR value = reinterpret_cast<LONG_PTR>(proc);
    return reinterpret_cast<WNDPROC>(unicode ? SetWindowLongPtrW(window, GWLP_WNDPROC, value)
                                             : SetWindowLongPtrA(window, GWLP_WNDPROC, value));
}

// A replaced procedure may be 0, so only the last error tells failure.
int setWindowProc(HWND window, WNDPROC proc, int unicode) {
    SetLastError(0);
    replaceWindowProc(window, proc, unicode);
    return GetLastError() == 0;
}

// Another subclass may have come in front of the hook since: it forwards to
// the hook and will put the hook back when it goes, so the hook may leave the
// chain only while nobody stands in front of it.
int hookIsInFront(HWND window, const WindowHookRecord *record) {
    LONG_PTR current = record->unicode ? GetWindowLongPtrW(window, GWLP_WNDPROC)
                                       : GetWindowLongPtrA(window, GWLP_WNDPROC);
    return reinterpret_cast<WNDPROC>(current) == hookFor(record->unicode);
}

// Returns 1 when the record was released; a record whose property stays on
// the window stays alive with it.
int releaseRecord(HWND window, WindowHookRecord *record) {
    if (RemovePropA(window, hookProperty) == nullptr) return 0;
    free(record);
    return 1;
}

// A hooked window calls into this module for every message, and a host may
// unload the module while one is still hooked. Pinned, the module stays
// mapped for the rest of the process; a host that never hooked a window
// still unloads it completely. Pinning a pinned module changes nothing.
int pinModule() {
    HMODULE self;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_PIN,
                              reinterpret_cast<LPCWSTR>(hookWindowProc), &self) != FALSE;
}

// A window that is going away gets its own procedure back, whatever stands in
// front of the hook, before that procedure sees WM_NCDESTROY.
void releaseAsWindowGoes(HWND window, WindowHookRecord *record) {
    if (record->subclassed) setWindowProc(window, record->previousProc, record->unicode);
    releaseRecord(window, record);
}

// Both hooks are this one, in the character set of their window.
inline LRESULT hookedMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int unicode) {
    WindowHookRecord *record = hookRecordOf(window);
    if (record == nullptr)
        return unicode ? DefWindowProcW(window, message, wParam, lParam)
                       : DefWindowProcA(window, message, wParam, lParam);
    // Taken now: the record is gone once the window is unhooked below, or by
    // anything the previous procedure does with this window.
    WNDPROC previous = record->previousProc;
    if (autoplayMessage != 0 && message == autoplayMessage) return record->autoplayAnswer;
    if (message == WM_NCDESTROY) releaseAsWindowGoes(window, record);
    return unicode ? CallWindowProcW(previous, window, message, wParam, lParam)
                   : CallWindowProcA(previous, window, message, wParam, lParam);
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
    if (!SetPropA(window, hookProperty, record)) {
        free(record);
        return 0;
    }
    // A window may have had no procedure at all, so only the last error tells
    // whether the replacement took place. Replacing the hook with itself
    // changed nothing, and a record that chained to the hook would send every
    // message round in a circle: that happens when a hooked window lost its
    // property to someone else.
    SetLastError(0);
    WNDPROC previous = replaceWindowProc(window, hookFor(record->unicode), record->unicode);
    if (GetLastError() != 0 || previous == hookWindowProc || previous == hookWindowProcW) {
        releaseRecord(window, record);
        return 0;
    }
    record->previousProc = previous;
    record->subclassed = 1;
    if (!pinModule()) {
        // A window whose procedure cannot be put back stays hooked whole.
        if (!setWindowProc(window, previous, record->unicode)) return 1;
        releaseRecord(window, record);
        return 0;
    }
    record->autoplayAnswer = 0;
    return 1;
}

// A window that cannot be unhooked whole stays hooked and keeps its record.
void detachWindow(HWND window) {
    WindowHookRecord *record = hookRecordOf(window);
    if (record == nullptr || !hookIsInFront(window, record)) return;
    if (!setWindowProc(window, record->previousProc, record->unicode)) return;
    if (releaseRecord(window, record)) return;
    // The property stays, so the hook goes back in front of the window. Should
    // even that fail, the window runs its own procedure and its property names
    // a record that stays alive.
    setWindowProc(window, hookFor(record->unicode), record->unicode);
}

LRESULT CALLBACK hookWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return hookedMessage(window, message, wParam, lParam, 0);
}

LRESULT CALLBACK hookWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return hookedMessage(window, message, wParam, lParam, 1);
}
