/*
 * zibwin32.h: what a host needs to load zibwin32.dll and call its entries.
 *
 * The DLL exports one function, getXtable. Every function pointer that it
 * hands out, getXtable included, uses the C calling convention (__cdecl):
 * the caller pops the arguments.
 *
 * Ownership: a text result belongs to the host once a handler returns it and
 * must go back through the freeResult routine that getXtable hands out, never
 * through the host's own allocator, and before the DLL is unloaded. A hooked
 * window calls into the DLL for every message, so the host should unhook or
 * destroy every window it hooked before it unloads the DLL. The first attach
 * that hooks a window pins the DLL, which then stays loaded, state and all,
 * until the process ends: a window still hooked when the host unloads the DLL
 * goes on working.
 *
 * Windows: ANSI and Unicode windows alike keep their character set and their
 * text while hooked. Detaching a window whose hook another subclass has since
 * come in front of does nothing: that subclass forwards to the hook and puts
 * it back when it goes. Remove such subclasses first.
 *
 * Threads: getXtable, freeResult and the two queries may be called from any
 * threads at once. The three window commands act only on windows of the
 * calling thread: a host calls them from the thread that owns the windows
 * whose ids its scripts pass (several such threads at once, each with windows
 * of its own), also from inside a hooked window's own messages.
 *
 * Text: arguments and results are 8-bit text in the process's ANSI code page;
 * a host whose manifest makes that code page UTF-8 gets every character.
 *
 * A host that looks getXtable up at run time and names its own pointer so
 * defines ZIBWIN32_NO_PROTOTYPES before it includes this header.
 */
#ifndef ZIBWIN32_H
#define ZIBWIN32_H

#include <stdint.h>

/* This header's release of the library. Within a major version the table
 * keeps its five rows, their names, kinds, order and signatures, and the
 * ownership rules. */
#define ZIBWIN32_VERSION_MAJOR 1
#define ZIBWIN32_VERSION_MINOR 3
#define ZIBWIN32_VERSION_PATCH 0
#define ZIBWIN32_VERSION "1.3.0"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define ZIBWIN32_CALL __cdecl
#else
#define ZIBWIN32_CALL
#endif

/* One script call. args: argCount NUL-terminated 8-bit strings (never
 * written by the DLL). result: receives a text result, the empty text "", or
 * NULL for none; every handler stores into it. Both flags are always set
 * to 0: failures show only through the result. */
typedef void(ZIBWIN32_CALL *ExternalHandler)(char **args, int32_t argCount, char **result,
                                             int32_t *firstFlag, int32_t *secondFlag);

typedef void(ZIBWIN32_CALL *AuxCallback)(void);

typedef void(ZIBWIN32_CALL *FreeResult)(char *result);

/* kind: "F" returns text, "C" returns none (stores NULL). The table ends
 * with a row whose name and kind are empty strings. */
typedef struct XtableEntry {
    const char *name;
    const char *kind;
    uintptr_t reservedWord; /* always 0 */
    ExternalHandler handler;
    AuxCallback auxCallback; /* the same do-nothing routine in every row */
} XtableEntry;

/* hostFirst and hostSecond are the host's own and are never used. The name
 * "zibWin32", the table and every string it points to stay valid and
 * unchanged while the DLL is loaded; a second call hands out the same values. */
typedef void(ZIBWIN32_CALL *GetXtable)(void *hostFirst, void *hostSecond, const char **libraryName,
                                       const XtableEntry **table, FreeResult *freeResult);

#ifndef ZIBWIN32_NO_PROTOTYPES
#ifdef ZIBWIN32_BUILDING_DLL
__declspec(dllexport)
#endif
void ZIBWIN32_CALL
getXtable(void *hostFirst, void *hostSecond, const char **libraryName, const XtableEntry **table,
          FreeResult *freeResult);
#endif

#ifdef __cplusplus
}
#endif

#endif /* ZIBWIN32_H */
