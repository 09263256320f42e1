#include "hook/message_filter.h"

#include "platform/late_bound.h"

namespace {

// ChangeWindowMessageFilterEx: on systems that filter messages by privilege.
typedef BOOL(WINAPI *ChangeMessageFilter)(HWND, UINT, DWORD, void *);
const DWORD allowMessage = 1;  // MSGFLT_ALLOW

}  // namespace

// An elevated host never sees the shell's registered messages unless its
// window lets them through. Systems before the filter lack the call.
void allowThroughMessageFilter(HWND window, UINT message) {
    auto change = reinterpret_cast<ChangeMessageFilter>(
        lateBoundFunction("user32.dll", "ChangeWindowMessageFilterEx"));
    if (change != nullptr) change(window, message, allowMessage, nullptr);
}
