// The stack cookie, its seeding and what happens when a check of it fails.
//
// Loaders seed the cookie that the load configuration names when it holds the
// image's default, but not every loader of every supported Windows does so
// for every image, and some older ones on x86 gave it only 16 bits. The C
// runtime's start-up, which seeds it again in such a case, does not run in
// front of this module's load entry, so the module seeds it itself, as that
// start-up does. Neither function here keeps a buffer on its stack or checks
// the cookie: a check that spans the seeding would fail.
#include <windows.h>
#include <stdint.h>

#include "entry/load_config_layout.h"
#include "entry/stack_cookie.h"

// The names below are the ones that the compiler's instrumentation uses.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" {

// The stack cookie of every function that keeps a buffer on the stack. The
// image holds the default, which is what loaders replace.
uintptr_t __stack_chk_guard = loadConfigLayout::defaultCookie;

// A function's stack was overrun. Returning, or unwinding through handlers
// that the overrun may have forged, would hand control to whoever overran
// it, so the process ends at once: through the platform's fast fail where it
// has one (Windows 8 and later), else by ending the process outright, as the
// fast fail would, with no exception raised and no filter of the host run.
[[noreturn]] __attribute__((no_stack_protector)) void __stack_chk_fail() {
    if (IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE)) {
#if defined(__aarch64__)
        register uintptr_t code asm("x0") = FAST_FAIL_STACK_COOKIE_CHECK_FAILURE;
        asm volatile("brk #0xf003" : : "r"(code) : "memory");
#else
        asm volatile("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE) : "memory");
#endif
    }
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    // Should the process still run, it must not return to the overrun frame.
    __builtin_trap();
}

}  // extern "C"
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)

// What the C runtime's start-up mixes: the time, the process and thread, the
// tick count, the performance counter and where this frame lies.
__attribute__((no_stack_protector)) void seedStackCookie() {
    using loadConfigLayout::defaultCookie;
    uintptr_t cookie = __stack_chk_guard;
    bool seeded = cookie != defaultCookie;
#ifndef _WIN64
    seeded = seeded && (cookie >> 16) != 0;
#endif
    if (seeded) return;

    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    const uint64_t ticks = GetTickCount64();
    const auto performance = static_cast<uint64_t>(counter.QuadPart);
    uint64_t mixed = (uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime) ^
                     GetCurrentProcessId() ^ GetCurrentThreadId() ^ (ticks << 56) ^ ticks ^
                     (performance << 32) ^ performance;
    mixed ^= reinterpret_cast<uintptr_t>(&mixed);
#ifdef _WIN64
    // The loaders' cookies leave the top 16 bits clear; so does this one.
    cookie = mixed & 0x0000FFFFFFFFFFFFULL;
#else
    cookie = static_cast<uint32_t>(mixed) ^ static_cast<uint32_t>(mixed >> 32);
    if ((cookie >> 16) == 0) cookie |= (cookie | 0x4711) << 16;
#endif
    if (cookie == defaultCookie) ++cookie;
    __stack_chk_guard = cookie;
}
