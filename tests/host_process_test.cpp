// Hosts run as processes of their own (host_process): a host that unloads the
// DLL under a hooked window goes on, a host that never hooked a window
// unloads it completely, a host gets its texts in its own code page, and a
// host whose stack the DLL finds overrun ends.
#include <string>

#include "child_process.h"
#include "dll_test.h"

namespace {

// A host in the UTF-8 code page is this host with a manifest that chooses it.
ChildRun runHost(const std::string &arguments) {
    bool utf8 = arguments.find("utf-8") != std::string::npos;
    return runChild("\"" + besideThisProgram(utf8 ? "host_process_utf8.exe" : "host_process.exe") +
                    "\" " + arguments);
}

TEST(HostProcess, HostsRunToTheirEnd) {
    for (const char *arguments : {"hooked ANSI", "hooked Unicode", "never-hooked", "attach-failed",
                                  "code-page ansi", "code-page utf-8"}) {
        SCOPED_TRACE(arguments);
        ChildRun run = runHost(arguments);
        ASSERT_TRUE(run.started);
        EXPECT_TRUE(run.finished) << "the host hung: " << run.output;
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_NE(run.output.find("host finished"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("FAILED"), std::string::npos) << run.output;
    }
}

// With the fast-fail code, STATUS_STACK_BUFFER_OVERRUN: an overrun stack never returns.
TEST(HostProcess, AHostWhoseStackIsOverrunEndsAtOnce) {
#ifndef ZIBWIN32_HARDENED
    GTEST_SKIP() << "the gcc builds carry no stack protection";
#endif
    ChildRun run = runHost("overrun");
    EXPECT_TRUE(run.finished) << run.output;
    EXPECT_EQ(run.exitCode, 0xC0000409u) << run.output;
    EXPECT_EQ(run.output.find("returned"), std::string::npos) << run.output;
}

}  // namespace
