/* A host that calls getXtable through its import, with no C runtime; it exits
 * with 0 when it got the name, five rows and the test prefix's CD-ROM. */
#include "zibwin32.h"

__declspec(dllimport) void __stdcall ExitProcess(unsigned int status);

static int same(const char *text, const char *expected) {
    for (; *expected != '\0'; ++text, ++expected)
        if (*text != *expected) return 0;
    return *text == '\0';
}

int main(void) {
    const char *name;
    const XtableEntry *table;
    FreeResult freeResult;
    char filter[] = "cdrom", *args[1], *result = 0;
    int32_t firstFlag, secondFlag, rows = 0, ok;
    getXtable(0, 0, &name, &table, &freeResult);
    while (table[rows].name[0] != '\0') ++rows;
    args[0] = filter;
    table[1].handler(args, 1, &result, &firstFlag, &secondFlag);
    ok = same(name, "zibWin32") && rows == 5 && result && same(result, "D:,cdrom,ZIBCDROM\n");
    freeResult(result);
    ExitProcess(ok ? 0 : 1);
    return 1;
}
