#include "hook/window_id.h"

namespace {

int isBlank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

}  // namespace

// Written by hand: the C runtime's conversions either saturate large numbers
// or leave them undefined, and the low 32 bits are wanted. Unsigned
// arithmetic wraps exactly that way.
int parseWindowId(const char *text, int32_t *id) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    while (isBlank(*p)) ++p;
    int negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    if (!isDigit(*p)) return 0;
    uint32_t value = 0;
    for (; isDigit(*p); ++p) value = value * 10u + static_cast<uint32_t>(*p - '0');
    if (negative) value = 0u - value;
    *id = static_cast<int32_t>(value);
    return 1;
}

int windowOfCallingThread(const char *text, HWND *window) {
    int32_t id;
    if (!parseWindowId(text, &id)) return 0;
    // Window handles are 32-bit values, sign-extended where pointers are wider.
    HWND candidate = reinterpret_cast<HWND>(static_cast<intptr_t>(id));
    if (GetWindowThreadProcessId(candidate, nullptr) != GetCurrentThreadId()) return 0;
    *window = candidate;
    return 1;
}
