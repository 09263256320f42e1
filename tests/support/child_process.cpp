#include "child_process.h"

ChildRun runChild(const std::string &commandLine, DWORD timeoutMs) {
    ChildRun run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0)) return run;
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = write;
    PROCESS_INFORMATION process = {};
    std::string writable = commandLine;
    run.started = CreateProcessA(nullptr, &writable[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                 nullptr, nullptr, &startup, &process) != FALSE;
    CloseHandle(write);
    if (!run.started) {
        CloseHandle(read);
        return run;
    }
    auto drain = [&] {
        DWORD available = 0;
        while (PeekNamedPipe(read, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            char buffer[4096];
            DWORD got = 0;
            if (!ReadFile(read, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
            run.output.append(buffer, got);
        }
    };
    for (DWORD waited = 0; !run.finished && waited < timeoutMs; waited += 10) {
        drain();
        run.finished = WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0;
    }
    drain();
    CloseHandle(read);
    if (!run.finished) TerminateProcess(process.hProcess, 1);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return run;
}
