// Critical-error boxes off while drives are read, for the calling thread only
// where the platform can do that: the host's other threads keep their own
// error boxes and their own changes to the mode.
#ifndef ZIBWIN32_QUERY_ERROR_MODE_H
#define ZIBWIN32_QUERY_ERROR_MODE_H

#include <windows.h>

typedef BOOL(WINAPI *SetThreadErrorModeCall)(DWORD mode, LPDWORD previousMode);

struct SavedErrorMode {
    // The thread's own mode was changed through this call; null when the
    // process-wide mode was changed instead.
    SetThreadErrorModeCall setThreadMode;
    UINT previousMode;
};

// Sets the mode to exactly SEM_FAILCRITICALERRORS, keeping the one it replaces.
void failCriticalErrorsQuietly(SavedErrorMode *saved);

// Puts back the mode that failCriticalErrorsQuietly replaced.
void restoreErrorMode(const SavedErrorMode *saved);

#endif
