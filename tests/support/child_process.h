// Runs a program as a child process and collects what it prints.
#pragma once

#include <windows.h>

#include <string>

struct ChildRun {
    bool started = false;
    bool finished = false;  // ended within the time allowed (else it was ended)
    DWORD exitCode = 0;
    std::string output;  // standard output and standard error, as printed
};

// Runs commandLine, reading its output while it runs, and stops when it has
// ended, not at the end of the pipe: a process it starts (Wine's desktop, for
// its first window) may inherit the pipe and outlive it.
ChildRun runChild(const std::string &commandLine, DWORD timeoutMs = 60000);
