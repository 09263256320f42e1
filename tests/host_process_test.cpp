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

// An overrun stack ends the host with STATUS_STACK_BUFFER_OVERRUN: by the fast fail where the
// platform has it, else (Windows 7) by TerminateProcess, and should that fail, in a trap. Wine
// fails fast whatever the feature query says: the host answers the query and prints the calls.
TEST(HostProcess, AHostWhoseStackIsOverrunEndsAtOnce) {
#ifndef ZIBWIN32_HARDENED
    GTEST_SKIP() << "the gcc builds carry no stack protection";
#endif
    const std::string asked = "ok: loaded\r\nasked for processor feature 23\r\n",
                      terminated = asked + "TerminateProcess of itself with 0xC0000409\r\n";
    // The platform, all that the host prints (Wine's lines aside), whether a trap ends it.
    const std::tuple<const char *, std::string, bool> rows[] = {
        {"fast-fail", asked, false},
        {"no-fast-fail", terminated, false},
        {"no-fast-fail-nor-terminate", terminated + "the host's handler ran\r\n", true}};
    for (const auto &[platform, output, trap] : rows) {
        ChildRun run = runHost(std::string("overrun ") + platform);
        std::string printed;
        for (size_t at = 0, end; (end = run.output.find('\n', at)) != std::string::npos;
             at = end + 1)
            if (run.output.compare(at, 6, "wine: ") != 0)
                printed += run.output.substr(at, end + 1 - at);
        EXPECT_EQ(printed, output) << platform;
        EXPECT_TRUE(run.finished && (run.exitCode == 0xC0000409u) != trap)
            << platform << run.exitCode;
    }
}

}  // namespace
