#include "hook/message_filter.h"

namespace {

// ChangeWindowMessageFilterEx: on systems that filter messages by privilege.
typedef BOOL(WINAPI *ChangeMessageFilter)(HWND, UINT, DWORD, void *);
const DWORD allowMessage = 1;  // MSGFLT_ALLOW

}  // namespace

// An elevated host never sees the shell's registered messages unless its
// window lets them through. Systems before the filter lack the call, so it is
// looked up at run time and the library still loads there.
void allowThroughMessageFilter(HWND window, UINT message) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    if (user32 == nullptr) return;
    auto change = reinterpret_cast<ChangeMessageFilter>(
        reinterpret_cast<void *>(GetProcAddress(user32, "ChangeWindowMessageFilterEx")));
    if (change != nullptr) change(window, message, allowMessage, nullptr);
}
