// Hosts that unload the DLL, each run as a process of its own (unload_host):
// a host that unloads it under a hooked window goes on, and a host that never
// hooked a window unloads it completely.
#include <string>

#include "child_process.h"
#include "dll_test.h"

namespace {

ChildRun runHost(const std::string &arguments) {
    return runChild("\"" + besideThisProgram("unload_host.exe") + "\" " + arguments);
}

TEST(Unloading, HostsThatUnloadTheDllGoOn) {
    for (const char *arguments : {"hooked ANSI", "hooked Unicode", "never-hooked", "attach-failed"}) {
        SCOPED_TRACE(arguments);
        ChildRun run = runHost(arguments);
        ASSERT_TRUE(run.started);
        EXPECT_TRUE(run.finished) << "the host hung: " << run.output;
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_NE(run.output.find("host finished"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("FAILED"), std::string::npos) << run.output;
    }
}

}  // namespace
