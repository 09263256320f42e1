#include "query/process_list.h"

#include <windows.h>
#include <string.h>
#include <tlhelp32.h>

#include "query/text_accumulator.h"

namespace {

// A name longer than the record holds (in a UTF-8 host a name of 130 Cyrillic
// letters is) goes into it only as far as whole characters fit, with no
// terminator; the last one to fit may end up to three bytes short of the
// record's end, and those bytes keep what the record held before. Cleared
// before every fetch, they end such a name where the platform stopped instead
// of with a piece of the name before it.
void clearEndOfName(PROCESSENTRY32 *entry) {
    memset(entry->szExeFile + sizeof entry->szExeFile - 4, 0, 4);
}

// Appends one line per process. Returns 1 when every name went in; after the
// first failed append it still asks for one more entry, then stops.
int appendProcessNames(HANDLE snapshot, TextAccumulator *acc) {
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    clearEndOfName(&entry);
    BOOL more = Process32First(snapshot, &entry);
    while (more) {
        uint32_t n = static_cast<uint32_t>(strnlen(entry.szExeFile, sizeof entry.szExeFile));
        int appended = appendText(acc, entry.szExeFile, n) && appendText(acc, "\n", 1);
        clearEndOfName(&entry);
        more = Process32Next(snapshot, &entry);
        if (!appended) return 0;
    }
    return 1;
}

// The list; "" for any failure, so that a partial list is never handed out,
// and NULL when even the finished list cannot be trimmed into a result.
char *listProcesses(HANDLE snapshot) {
    TextAccumulator *acc = newTextAccumulator();
    if (acc == nullptr) return emptyResult();
    char *text = nullptr;
    // The walk's own last error tells its normal end from a failure, so
    // nothing may run between the last Process32Next and this read.
    if (appendProcessNames(snapshot, acc) && GetLastError() == ERROR_NO_MORE_FILES)
        text = finishText(acc);
    else
        text = emptyResult();
    releaseTextAccumulator(acc);
    return text;
}

}  // namespace

void ZIBWIN32_CALL enumerateProcesses(char **, int32_t, char **result, int32_t *firstFlag,
                                      int32_t *secondFlag) {
    *firstFlag = 0;
    *secondFlag = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        *result = emptyResult();
        return;
    }
    char *text = listProcesses(snapshot);
    CloseHandle(snapshot);
    *result = text;
}
