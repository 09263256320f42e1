// Hosts that unload the DLL, each run as a process of its own (unload_host):
// a host that unloads it under a hooked window goes on, and a host that never
// hooked a window unloads it completely.
#include <string>

#include "dll_test.h"

namespace {

struct HostRun {
    DWORD exitCode = 0;
    std::string output;
};

// Runs unload_host with arguments; its standard output and error come back.
HostRun runHost(const std::string &arguments) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    CreatePipe(&read, &write, &inherit, 0);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = write;
    PROCESS_INFORMATION process = {};
    std::string commandLine = "\"" + besideThisProgram("unload_host.exe") + "\" " + arguments;
    HostRun run;
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        run.exitCode = GetLastError();
        run.output = "cannot start " + commandLine;
        CloseHandle(read);
        CloseHandle(write);
        return run;
    }
    CloseHandle(write);
    // Read while the host runs, and stop when it has ended, not at the end of
    // the pipe: a process the host starts (Wine's desktop, for its first
    // window) inherits the pipe and outlives it.
    auto drain = [&] {
        DWORD available = 0;
        while (PeekNamedPipe(read, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            char buffer[4096];
            DWORD got = 0;
            if (!ReadFile(read, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
            run.output.append(buffer, got);
        }
    };
    for (int waited = 0; waited < 60000; waited += 20) {
        drain();
        if (WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0) break;
    }
    drain();
    CloseHandle(read);
    if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        run.output += "\n(the host hung)";
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return run;
}

TEST(Unloading, HostsThatUnloadTheDllGoOn) {
    for (const char *arguments : {"hooked ANSI", "hooked Unicode", "never-hooked", "attach-failed"}) {
        SCOPED_TRACE(arguments);
        HostRun run = runHost(arguments);
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_NE(run.output.find("host finished"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("FAILED"), std::string::npos) << run.output;
    }
}

}  // namespace
