#include "query/error_mode.h"

#include "platform/late_bound.h"

// Systems before the thread's own error mode have only the process-wide one,
// and so does a thread whose mode cannot be set.
void failCriticalErrorsQuietly(SavedErrorMode *saved) {
    saved->setThreadMode = reinterpret_cast<SetThreadErrorModeCall>(
        lateBoundFunction("kernel32.dll", "SetThreadErrorMode"));
    DWORD previous;
    if (saved->setThreadMode != nullptr &&
        saved->setThreadMode(SEM_FAILCRITICALERRORS, &previous)) {
        saved->previousMode = previous;
        return;
    }
    saved->setThreadMode = nullptr;
    saved->previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
}

void restoreErrorMode(const SavedErrorMode *saved) {
    if (saved->setThreadMode != nullptr)
        saved->setThreadMode(saved->previousMode, nullptr);
    else
        SetErrorMode(saved->previousMode);
}
