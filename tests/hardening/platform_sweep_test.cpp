// Every platform call the DLL makes is failed once, in turn, at each place a
// session of host calls makes it: the result is what the failure must give,
// the error mode comes back, every snapshot is closed and no block leaks.
#include <cstring>
#include <map>

#include "dll_test.h"

namespace {

// Every platform call of the table; the allocations have a sweep of their own.
std::vector<std::string> platformCalls() {
    std::vector<std::string> calls;
    for (const platform::Failable &call : platform::failableCalls())
        if (!call.heap) calls.push_back(call.function);
    return calls;
}

using PlatformSweep = DllTest;

TEST_F(PlatformSweep, ProcessList) {
    Outcome outcome;
    unsigned runs = sweep(
        platformCalls(), [&] { outcome = call("zibWin32EnumerateProcesses"); },
        [&](const FaultRun &run) {
            EXPECT_EQ(platform::openSnapshots(), 0);
            EXPECT_EQ(run.leftAlive, 0);
            if (run.function == "CloseHandle") {
                EXPECT_FALSE(outcome.text.empty()) << "a close that fails "
                                                      "does not spoil the list";
            } else {
                EXPECT_EQ(outcome, textOf(""));
            }
        });
    report("platform-failure sweep of zibWin32EnumerateProcesses: %u runs, "
           "0 snapshots left open, 0 blocks leaked\n",
           runs);
    EXPECT_GE(runs, 4u);
}

TEST_F(PlatformSweep, VolumeList) {
    const UINT hostMode = SEM_NOOPENFILEERRORBOX;
    const DWORD hostThreadMode = SEM_NOGPFAULTERRORBOX;
    SetErrorMode(hostMode);
    SetThreadErrorMode(hostThreadMode, nullptr);
    std::vector<std::string> roots, labelled;  // every root; the roots whose labels are read
    char buffer[512];
    DWORD filled = GetLogicalDriveStringsA(sizeof buffer, buffer);
    for (const char *root = buffer; root < buffer + filled; root += std::strlen(root) + 1) {
        roots.emplace_back(root, 2);
        if (GetDriveTypeA(root) != DRIVE_NO_ROOT_DIR) labelled.emplace_back(root);
    }
    const std::string complete = call("zibWin32EnumerateVolumes").text;
    auto without = [&](const std::string &drive) {
        size_t line = complete.find(drive + ",");
        return complete.substr(0, line) + complete.substr(complete.find('\n', line) + 1);
    };
    Outcome outcome;
    unsigned runs = sweep(
        platformCalls(), [&] { outcome = call("zibWin32EnumerateVolumes"); },
        [&](const FaultRun &run) {
            const std::string &function = run.function;
            unsigned k = run.call;
            EXPECT_EQ(GetErrorMode(), hostMode);
            EXPECT_EQ(run.leftAlive, 0);
            if (function == "SetThreadErrorMode" && k == 2) {
                // The thread's mode, once set, cannot be put back when
                // the platform refuses the very mode it handed out.
                EXPECT_EQ(GetThreadErrorMode(), DWORD{SEM_FAILCRITICALERRORS});
                SetThreadErrorMode(hostThreadMode, nullptr);
            }
            EXPECT_EQ(GetThreadErrorMode(), hostThreadMode);
            if (function == "GetDriveTypeA") {
                // The drive whose type is not known is listed as such.
                std::string line = roots[k - 1] + ",unknown,";
                EXPECT_NE(outcome.text.find(line), std::string::npos) << outcome.text;
            } else if (function == "GetVolumeInformationA") {
                // A drive whose label cannot be read drops out alone.
                EXPECT_EQ(outcome, textOf(without(labelled[k - 1].substr(0, 2))));
            } else if (function == "GetModuleHandleA" || function == "GetProcAddress" ||
                       function == "SetThreadErrorMode") {
                // Without the thread's own mode the process-wide one serves.
                EXPECT_EQ(outcome, textOf(complete));
            } else {
                EXPECT_EQ(outcome, textOf(""));
            }
        });
    SetErrorMode(0);
    SetThreadErrorMode(0, nullptr);
    report("platform-failure sweep of zibWin32EnumerateVolumes: %u runs, "
           "both error modes restored every time, 0 blocks leaked\n",
           runs);
    EXPECT_GE(runs, roots.size() * 2);
}

// A window's whole life with the hook, every step checked: the window is
// hooked exactly when it carries the property. Each session starts with a
// module that was never loaded, so that its first attach pins it.
TEST_F(PlatformSweep, HookedWindowLifetime) {
    const UINT query = RegisterWindowMessageA("QueryCancelAutoPlay");
    const std::vector<std::string> functions = platformCalls();
    std::map<std::string, unsigned> beforeDestruction;  // each call's count, when none fails
    CharacterSet characterSet = CharacterSet::Ansi;
    auto session = [&] {
        HWND window = createTestWindow(characterSet);
        WNDPROC ownProc = currentProcOf(window);
        std::string id = idOf(window);
        auto consistent = [&](const char *step) {
            bool hasProperty = isHooked(window);
            EXPECT_EQ(hasProperty, currentProcOf(window) != ownProc) << "after " << step;
        };
        call("zibWin32Attach", {id});
        consistent("attach");
        call("zibWin32SetAutoplayMode", {id, "deny"});
        SendMessageA(window, query, 0, 0);
        SendMessageA(window, WM_USER + 1, 0, 0);
        consistent("messages");
        call("zibWin32Detach", {id});
        consistent("detach");
        call("zibWin32Attach", {id});
        call("zibWin32SetAutoplayMode", {id, "allow"});
        consistent("attach again");
        if (beforeDestruction.empty())
            for (const std::string &function : functions)
                beforeDestruction[function] = platform::callCount(function);
        DestroyWindow(window);
    };
    unsigned runs = 0;
    for (CharacterSet set : {CharacterSet::Ansi, CharacterSet::Unicode}) {
        SCOPED_TRACE(std::string(nameOf(set)) + " window");
        characterSet = set;
        beforeDestruction.clear();
        runs += sweep(functions, session,
                      [&](const FaultRun &run) {
                          // The record is found through the window's property alone: when
                          // the hook's look-up fails as the window is destroyed, nothing
                          // can find the record again (a look-up that cannot fail for a live
                          // window of the calling thread). A property that stays keeps it.
                          bool kept = run.call > beforeDestruction[run.function] &&
                                      ((run.function == "GetPropA" && run.call == run.calls) ||
                                       run.function == "RemovePropA");
                          EXPECT_EQ(run.leftAlive, kept ? 1 : 0);
                          platform::forgetBlocks();
                      },
                      {false, true});
    }
    report("platform-failure sweep of a hooked window's lifetime, ANSI and "
           "Unicode windows: %u runs, "
           "0 blocks leaked but where the property fails during destruction\n",
           runs);
    EXPECT_GE(runs, 20u);
}

}  // namespace
