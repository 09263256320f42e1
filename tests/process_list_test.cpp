// "zibWin32EnumerateProcesses" on Wine's real process snapshots, and with
// faults injected into the DLL's own imports.
#include "dll_test.h"

#include <tlhelp32.h>

namespace {

const char processes[] = "zibWin32EnumerateProcesses";

// The platform's own walk, reading only the names.
std::string platformProcessList() {
    std::string list;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        list += std::string(entry.szExeFile) + "\n";
    CloseHandle(snapshot);
    return list;
}

std::string ownExeName() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string full(path);
    return full.substr(full.find_last_of("\\/") + 1);
}

class ProcessList : public DllTest {
   protected:
    // Makes the DLL's snapshot yield exactly these names.
    void scriptSnapshot(std::vector<std::string> names, DWORD endError = ERROR_NO_MORE_FILES) {
        scripted = std::move(names);
        auto yield = [this, endError](PROCESSENTRY32 *entry) -> BOOL {
            if (next == scripted.size()) {
                SetLastError(endError);
                return FALSE;
            }
            // Into the record as the platform writes a name for a host in the
            // UTF-8 code page: converted from UTF-16, as far as whole characters fit.
            std::wstring name(scripted[next].size() + 1, L'\0');
            MultiByteToWideChar(CP_UTF8, 0, scripted[next++].c_str(), -1, &name[0], name.size());
            WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, entry->szExeFile, MAX_PATH, nullptr,
                                nullptr);
            return TRUE;
        };
        platform::overrides().Process32First = [this, yield](HANDLE, PROCESSENTRY32 *entry) {
            EXPECT_EQ(entry->dwSize, sizeof(PROCESSENTRY32));
            next = 0;
            return yield(entry);
        };
        platform::overrides().Process32Next = [yield](HANDLE, PROCESSENTRY32 *entry) {
            return yield(entry);
        };
    }
    std::vector<std::string> scripted;
    size_t next = 0;
};

// Processes may start or end between two walks: the DLL's list must match a
// platform walk taken just before it and just after it.
TEST_F(ProcessList, IsThePlatformsListOfNamesInSnapshotOrder) {
    bool matched = false;
    for (int attempt = 0; attempt < 10 && !matched; ++attempt) {
        std::string before = platformProcessList();
        Outcome listed = call(processes);
        std::string after = platformProcessList();
        matched = before == after && listed == textOf(before);
    }
    EXPECT_TRUE(matched) << "the DLL's list never matched a stable platform list";
    Outcome listed = call(processes);
    ASSERT_FALSE(listed.isNull);
    EXPECT_NE(listed.text.find("\n" + ownExeName() + "\n"), std::string::npos) << listed.text;
    EXPECT_EQ(listed.text.back(), '\n');
}

TEST_F(ProcessList, IgnoresItsArguments) {
    scriptSnapshot({"a.exe", "b.exe"});
    EXPECT_EQ(call(processes, {"anything", "at", "all"}), textOf("a.exe\nb.exe\n"));
    EXPECT_EQ(callWithoutArgs(processes), textOf("a.exe\nb.exe\n"));
}

std::string cyrillic(int letters) {  // "ЖЖЖ…" in UTF-8
    std::string text;
    while (letters-- > 0) text += "\xD0\x96";
    return text;
}

TEST_F(ProcessList, EveryLineEndsInALineFeed) {
    const struct {
        std::vector<std::string> names;
        std::string text;
    } cases[] = {
        {{}, ""},
        {{"one.exe"}, "one.exe\n"},
        {{"a.exe", "b b.exe", "C.EXE"}, "a.exe\nb b.exe\nC.EXE\n"},
        {{std::string(MAX_PATH - 1, 'n')}, std::string(MAX_PATH - 1, 'n') + "\n"},
        // Longer than the record: the whole characters that fit, with nothing of the name before.
        {{cyrillic(130), "q" + cyrillic(200)}, cyrillic(130) + "\nq" + cyrillic(129) + "\n"},
    };
    for (const auto &c : cases) {
        scriptSnapshot(c.names);
        EXPECT_EQ(call(processes), textOf(c.text));
    }
}

TEST_F(ProcessList, GrowsItsBufferByBlocksAndTrimsTheResult) {
    scriptSnapshot({std::string(200, 'a'), std::string(200, 'b')});
    EXPECT_EQ(call(processes), textOf(std::string(200, 'a') + "\n" + std::string(200, 'b') + "\n"));
    // The accumulator's record, its first block, the second, the exact trim.
    std::vector<size_t> expected = {sizeof(void *) + 2 * sizeof(uint32_t), 256, 512, 403};
    EXPECT_EQ(platform::requestedSizes(), expected);
}

struct WalkFailure {
    const char *what;
    const char *function;
    DWORD error;
    unsigned nth;
};

TEST_F(ProcessList, AnyPlatformFailureGivesTheEmptyListAndClosesTheSnapshot) {
    const WalkFailure failures[] = {
        {"no snapshot", "CreateToolhelp32Snapshot", ERROR_NOT_ENOUGH_MEMORY, 1},
        {"first entry refused", "Process32First", ERROR_ACCESS_DENIED, 1},
        {"walk broken after one entry", "Process32Next", ERROR_BAD_LENGTH, 1},
        {"walk broken later", "Process32Next", ERROR_INVALID_PARAMETER, 2},
        {"no entry at all", "Process32First", ERROR_NO_MORE_FILES, 1},
    };
    for (const WalkFailure &failure : failures) {
        SCOPED_TRACE(failure.what);
        platform::reset();
        scriptSnapshot({"a.exe", "b.exe", "c.exe"});
        platform::fail(failure.function, {failure.nth, 1, failure.error});
        EXPECT_EQ(call(processes), textOf(""));
        EXPECT_EQ(platform::openSnapshots(), 0);
        unsigned taken = platform::callCount("CreateToolhelp32Snapshot");
        unsigned refused = std::string(failure.function) == "CreateToolhelp32Snapshot";
        EXPECT_EQ(platform::callCount("CloseHandle"), taken - refused);
        EXPECT_EQ(platform::liveBlocks(), 0u);
    }
}

TEST_F(ProcessList, RealWalkBrokenMidwayGivesTheEmptyList) {
    platform::fail("Process32Next", {3, 1, ERROR_BAD_LENGTH});
    EXPECT_EQ(call(processes), textOf(""));
}

// Allocation attempts of a three-name walk: the record, the first block, then
// the trim; a failure anywhere gives "" (never a partial list), or null where
// even that cannot be had.
TEST_F(ProcessList, AllocationFailureAtEachPointGivesNoPartialList) {
    scriptSnapshot({"a.exe", "b.exe", "c.exe"});
    for (bool everyLater : {false, true}) {
        Outcome outcome;
        unsigned points = sweep(
            {"allocation"}, [&] { outcome = call(processes); },
            [&](const FaultRun &run) {
                bool finalTrimFailed = run.call == run.calls;
                EXPECT_EQ(outcome, finalTrimFailed || everyLater ? nullOutcome : textOf(""));
                EXPECT_EQ(run.leftAlive, 0);
                EXPECT_EQ(platform::openSnapshots(), 0);
            },
            {everyLater});
        EXPECT_EQ(points, 3u);
    }
}

TEST_F(ProcessList, AfterAFailedAppendItAsksForOneMoreEntryThenStops) {
    scriptSnapshot({std::string(250, 'a'), std::string(250, 'b'), "c.exe", "d.exe"});
    platform::fail("allocation", {3});  // the second block, for the second name
    EXPECT_EQ(call(processes), textOf(""));
    EXPECT_EQ(platform::callCount("Process32First"), 1u);
    EXPECT_EQ(platform::callCount("Process32Next"), 2u);
}

}  // namespace
