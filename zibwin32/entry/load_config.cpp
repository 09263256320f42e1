// The image's load configuration, which the loader reads before any code of
// the module runs and which carries most of the protections that the host
// guide lists (docs/HOSTS.md, "Protections"). The C runtime of this toolchain
// brings none of it, so the module lays the record out itself, field by field
// as the PE format places them, and provides what the record points to (the
// stack cookie, its seeding and its failure: entry/stack_cookie.cpp).
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "entry/load_config_layout.h"

// Every indirect call goes through a pointer that the loader of a platform
// that enforces Control Flow Guard sets to its own check (x86 code, which
// passes the target in ECX, and arm64 code, which passes it in X15) or
// dispatch (x64 code, which jumps to the target in RAX). Elsewhere the
// pointers keep what the module gives them: a check that lets every target
// pass, and a dispatch that jumps to it. They are written in assembly so that
// those two stay out of the table of valid targets: a function that jumps
// wherever RAX points must never be one. Their section is read-only; the
// loader makes it writable while it sets them.
#if defined(__aarch64__)
asm(".text\n"
    ".p2align 2\n"
    "zibwin32AcceptAnyTarget:\n"
    "    ret\n"
    ".section .00cfg,\"dr\"\n"
    ".p2align 3\n"
    ".globl __guard_check_icall_fptr\n"
    "__guard_check_icall_fptr:\n"
    "    .quad zibwin32AcceptAnyTarget\n");
#elif defined(__x86_64__)
asm(".text\n"
    ".p2align 4\n"
    "zibwin32AcceptAnyTarget:\n"
    "    ret\n"
    ".p2align 4\n"
    "zibwin32DispatchToAnyTarget:\n"
    "    jmp *%rax\n"
    ".section .00cfg,\"dr\"\n"
    ".p2align 3\n"
    ".globl __guard_check_icall_fptr\n"
    "__guard_check_icall_fptr:\n"
    "    .quad zibwin32AcceptAnyTarget\n"
    ".globl __guard_dispatch_icall_fptr\n"
    "__guard_dispatch_icall_fptr:\n"
    "    .quad zibwin32DispatchToAnyTarget\n");
#else
asm(".text\n"
    ".p2align 4\n"
    "zibwin32AcceptAnyTarget:\n"
    "    ret\n"
    ".section .00cfg,\"dr\"\n"
    ".p2align 2\n"
    ".globl ___guard_check_icall_fptr\n"
    "___guard_check_icall_fptr:\n"
    "    .long zibwin32AcceptAnyTarget\n");
#endif

struct LoadConfigCodeIntegrity {
    WORD flags;
    WORD catalog;
    DWORD catalogOffset;
    DWORD reserved;
};

// IMAGE_LOAD_CONFIG_DIRECTORY in its whole current size; the headers of this
// toolchain know only its first fields. Pointer-sized fields are addresses
// or counts, 4 or 8 bytes wide.
struct LoadConfig {
    DWORD size;
    DWORD timeDateStamp;
    WORD majorVersion;
    WORD minorVersion;
    DWORD globalFlagsClear;
    DWORD globalFlagsSet;
    DWORD criticalSectionDefaultTimeout;
    uintptr_t deCommitFreeBlockThreshold;
    uintptr_t deCommitTotalFreeThreshold;
    uintptr_t lockPrefixTable;
    uintptr_t maximumAllocationSize;
    uintptr_t virtualMemoryThreshold;
#ifdef _WIN64
    uintptr_t processAffinityMask;
    DWORD processHeapFlags;
#else
    DWORD processHeapFlags;
    uintptr_t processAffinityMask;
#endif
    WORD csdVersion;
    WORD dependentLoadFlags;
    uintptr_t editList;
    const void *securityCookie;
    uintptr_t seHandlerTable;
    uintptr_t seHandlerCount;
    const void *guardCFCheckFunctionPointer;
    const void *guardCFDispatchFunctionPointer;
    const void *guardCFFunctionTable;
    const void *guardCFFunctionCount;
    // GuardFlags is 32 bits wide, and the linker's value for it fits there.
    // Taken in as an address-wide field, on x64 its upper half falls on the
    // code integrity's flags and catalog, which are 0.
    const void *guardFlags;
#ifdef _WIN64
    DWORD codeIntegrityCatalogOffset;
    DWORD codeIntegrityReserved;
#else
    LoadConfigCodeIntegrity codeIntegrity;
#endif
    const void *guardAddressTakenIatEntryTable;
    const void *guardAddressTakenIatEntryCount;
    const void *guardLongJumpTargetTable;
    const void *guardLongJumpTargetCount;
    uintptr_t dynamicValueRelocTable;
    uintptr_t chpeMetadataPointer;
    uintptr_t guardRFFailureRoutine;
    uintptr_t guardRFFailureRoutineFunctionPointer;
    DWORD dynamicValueRelocTableOffset;
    WORD dynamicValueRelocTableSection;
    WORD reserved2;
    uintptr_t guardRFVerifyStackPointerFunctionPointer;
    DWORD hotPatchTableOffset;
    DWORD reserved3;
    uintptr_t enclaveConfigurationPointer;
    uintptr_t volatileMetadataPointer;
    uintptr_t guardEHContinuationTable;
    uintptr_t guardEHContinuationCount;
    uintptr_t guardXFGCheckFunctionPointer;
    uintptr_t guardXFGDispatchFunctionPointer;
    uintptr_t guardXFGTableDispatchFunctionPointer;
    uintptr_t castGuardOsDeterminedFailureMode;
    uintptr_t guardMemcpyFunctionPointer;
};

// The PE format's offsets, which the layout above must meet.
static_assert(offsetof(LoadConfig, securityCookie) == loadConfigLayout::securityCookie, "layout");
static_assert(offsetof(LoadConfig, guardCFFunctionTable) == loadConfigLayout::guardCFFunctionTable,
              "layout");
static_assert(offsetof(LoadConfig, guardCFFunctionCount) == loadConfigLayout::guardCFFunctionCount,
              "layout");
static_assert(offsetof(LoadConfig, guardFlags) == loadConfigLayout::guardFlags, "layout");
static_assert(sizeof(LoadConfig) == loadConfigLayout::recordSize, "layout");

// The names below are the ones that the compiler's instrumentation, the
// linker and the format use, reserved as they are.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" {

// What the linker knows of Control Flow Guard: its tables and counts, and the
// flags that say what the image does. Counts and flags are plain numbers,
// given as the addresses of symbols that the linker defines.
extern const char __guard_fids_table[], __guard_fids_count[], __guard_flags[];
extern const char __guard_iat_table[], __guard_iat_count[];
extern const char __guard_longjmp_table[], __guard_longjmp_count[];

// The stack cookie (entry/stack_cookie.cpp).
extern uintptr_t __stack_chk_guard;

extern const void *const __guard_check_icall_fptr;
#if defined(__x86_64__)
extern const void *const __guard_dispatch_icall_fptr;
#endif

// Found by the linker under this name, which the format gives it. The fields
// left out are 0.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wmissing-field-initializers"
__attribute__((used)) extern const LoadConfig _load_config_used = {
    sizeof(LoadConfig),
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    // Dependencies of the module come from the system folder alone, never
    // from the host's folder or the current one.
    LOAD_LIBRARY_SEARCH_SYSTEM32,
    0,
    &__stack_chk_guard,
    0,
    0,
    static_cast<const void *>(&__guard_check_icall_fptr),
// Only x64 code calls through a dispatch slot; x86 and arm64 code checks.
#if defined(__x86_64__)
    static_cast<const void *>(&__guard_dispatch_icall_fptr),
#else
    nullptr,
#endif
    __guard_fids_table,
    __guard_fids_count,
    __guard_flags,
#ifdef _WIN64
    0,
    0,
#else
    {},
#endif
    __guard_iat_table,
    __guard_iat_count,
    __guard_longjmp_table,
    __guard_longjmp_count,
};
#pragma clang diagnostic pop

}  // extern "C"
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
