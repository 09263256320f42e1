// "zibWin32EnumerateVolumes" on the drives of the test prefix (see
// tools/wine/make-prefix.sh), and with faults injected into the DLL's imports.
#include <cstring>

#include "dll_test.h"

namespace {

const char volumes[] = "zibWin32EnumerateVolumes";

const std::string longestLabel(255, 'L');  // the longest label Wine gives
const std::string label32(32, 'N');        // one past what 31 bytes hold

// Lines the test prefix must produce, whatever else the platform adds.
const std::string cdromLine = "D:,cdrom,ZIBCDROM\n";
const std::string removableLine = "E:,removable,ZIBFLOPPY\n";
const std::string remoteLine = "F:,remote,ZIBREMOTE\n";
const std::string unlabelledLine = "G:,fixed,\n";
const std::string longestLabelLine = "H:,fixed," + longestLabel + "\n";
const std::string ramdiskLine = "I:,ramdisk,ZIBRAM\n";
const std::string label32Line = "K:,fixed," + label32 + "\n";

const char *platformKind(UINT type) {
    switch (type) {
        case DRIVE_REMOVABLE: return "removable";
        case DRIVE_FIXED: return "fixed";
        case DRIVE_REMOTE: return "remote";
        case DRIVE_CDROM: return "cdrom";
        case DRIVE_RAMDISK: return "ramdisk";
        default: return "unknown";
    }
}

// What the platform itself reports for every drive, in its order.
std::string platformVolumeList() {
    char roots[1024];
    DWORD filled = GetLogicalDriveStringsA(sizeof roots, roots);
    std::string list;
    for (const char *root = roots; root < roots + filled && *root; root += std::strlen(root) + 1) {
        UINT type = GetDriveTypeA(root);
        if (type == DRIVE_NO_ROOT_DIR) continue;
        char label[MAX_PATH + 1];
        if (!GetVolumeInformationA(root, label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0))
            continue;
        list += std::string(root, 2) + "," + platformKind(type) + "," + label + "\n";
    }
    return list;
}

// The lines of list whose kind occurs in filter.
std::string linesOfKinds(const std::string &list, const std::string &filter) {
    std::string kept;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find('\n', start) + 1;
        std::string line = list.substr(start, end - start);
        std::string kind = line.substr(3, line.find(',', 3) - 3);
        if (filter.find(kind) != std::string::npos) kept += line;
        start = end;
    }
    return kept;
}

class VolumeList : public DllTest {
   protected:
    void SetUp() override {
        DllTest::SetUp();
        hostErrorMode = SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;
        SetErrorMode(hostErrorMode);
    }
    void TearDown() override {
        EXPECT_EQ(GetErrorMode(), hostErrorMode) << "the host's error mode was not restored";
        SetErrorMode(0);
        DllTest::TearDown();
    }
    // The drive list as the platform reports it, with roots replaced.
    void serveDriveList(std::string roots) {
        platform::overrides().GetLogicalDriveStringsA = [roots](DWORD size, LPSTR buffer) -> DWORD {
            if (size < roots.size()) return static_cast<DWORD>(roots.size());
            std::memcpy(buffer, roots.data(), roots.size());
            return static_cast<DWORD>(roots.size() - 1);
        };
    }
    UINT hostErrorMode = 0;
};

TEST_F(VolumeList, ListsEveryReadyDriveAsThePlatformReportsIt) {
    Outcome listed = call(volumes);
    EXPECT_EQ(listed, textOf(platformVolumeList()));
    for (const std::string &line : {cdromLine, removableLine, remoteLine, unlabelledLine,
                                    longestLabelLine, ramdiskLine, label32Line})
        EXPECT_NE(listed.text.find(line), std::string::npos) << "missing " << line;
    EXPECT_EQ(listed.text.find("J:"), std::string::npos) << "a drive without a root is listed";
}

TEST_F(VolumeList, FilterKeepsTheKindsItNamesAnywhereInItsText) {
    std::string all = call(volumes).text;
    std::string fixed = linesOfKinds(all, "fixed");
    ASSERT_NE(fixed.find(unlabelledLine), std::string::npos);
    const struct {
        std::vector<std::string> args;
        std::string expected;
    } cases[] = {
        {{""}, all},
        {{"removable fixed remote cdrom ramdisk"}, all},
        {{"cdrom"}, cdromLine},
        {{"fixed,removable"}, linesOfKinds(all, "fixed removable")},
        {{"fixed removable"}, linesOfKinds(all, "fixed removable")},
        {{"fixedremovable"}, linesOfKinds(all, "fixed removable")},
        {{"removable"}, removableLine},
        {{"remote"}, remoteLine},
        {{"ramdisk"}, ramdiskLine},
        {{"Fixed"}, ""},
        {{"ram"}, ""},
        {{"cdrom", "fixed"}, cdromLine},
        {{"", "cdrom"}, all},
        {{"unknown"}, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("filter \"" + c.args[0] + "\"");
        EXPECT_EQ(call(volumes, c.args), textOf(c.expected));
    }
    std::string fixedAndRemovable = linesOfKinds(all, "fixed removable");
    EXPECT_NE(fixedAndRemovable.find(removableLine), std::string::npos);
    EXPECT_NE(fixedAndRemovable.find(longestLabelLine), std::string::npos);
}

TEST_F(VolumeList, FilteredOutDrivesAreNeverTouched) {
    EXPECT_EQ(call(volumes, {"cdrom"}), textOf(cdromLine));
    EXPECT_EQ(platform::callCount("GetVolumeInformationA"), 1u);
}

TEST_F(VolumeList, ReadsLabelsWithRoomForAnyLabelAndNoCriticalErrorBoxes) {
    std::vector<UINT> modes;
    platform::overrides().GetVolumeInformationA = [&](LPCSTR root, LPSTR label, DWORD size) {
        EXPECT_EQ(size, static_cast<DWORD>(MAX_PATH + 1));
        modes.push_back(GetErrorMode());
        return platform::real().GetVolumeInformationA(root, label, size, nullptr, nullptr, nullptr,
                                                      nullptr, 0);
    };
    EXPECT_EQ(call(volumes), textOf(platformVolumeList()));
    ASSERT_FALSE(modes.empty());
    for (UINT mode : modes) EXPECT_EQ(mode, static_cast<UINT>(SEM_FAILCRITICALERRORS));
}

TEST_F(VolumeList, DriveThatIsNotReadyIsSkippedSilently) {
    platform::overrides().GetVolumeInformationA = [](LPCSTR root, LPSTR label, DWORD size) {
        if (root[0] == 'D' || root[0] == 'E') {
            SetLastError(ERROR_NOT_READY);
            return FALSE;
        }
        return platform::real().GetVolumeInformationA(root, label, size, nullptr, nullptr, nullptr,
                                                      nullptr, 0);
    };
    std::string expected = platformVolumeList();
    for (const std::string &line : {cdromLine, removableLine})
        expected.erase(expected.find(line), line.size());
    EXPECT_EQ(call(volumes), textOf(expected));
}

TEST_F(VolumeList, AnyOtherLabelFailureEmptiesTheWholeList) {
    for (DWORD error : {ERROR_ACCESS_DENIED, ERROR_BAD_LENGTH, ERROR_SUCCESS, ERROR_INVALID_FUNCTION}) {
        SCOPED_TRACE(error);
        platform::overrides().GetVolumeInformationA = [error](LPCSTR root, LPSTR label, DWORD size) {
            if (root[0] == 'Z') {  // the last drive, after all the others were listed
                SetLastError(error);
                return FALSE;
            }
            return platform::real().GetVolumeInformationA(root, label, size, nullptr, nullptr,
                                                          nullptr, nullptr, 0);
        };
        EXPECT_EQ(call(volumes), textOf(""));
    }
}

TEST_F(VolumeList, DriveTypesBeyondTheKnownOnes) {
    const struct {
        UINT type;
        const char *filter;
        const char *line;  // G:'s line, or null when G: is not listed
    } cases[] = {
        {DRIVE_UNKNOWN, "", "G:,unknown,\n"},
        {DRIVE_UNKNOWN, "unknown", "G:,unknown,\n"},
        {DRIVE_RAMDISK, "ramdisk", "G:,ramdisk,\n"},
        {DRIVE_NO_ROOT_DIR, "", nullptr},
        {DRIVE_NO_ROOT_DIR, "fixed unknown", nullptr},
        {7, "", "G:,unknown,\n"},
        {0xFFFFFFFF, "unknown", "G:,unknown,\n"},
        {7, "fixed", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " filter " + c.filter);
        UINT type = c.type;
        platform::overrides().GetDriveTypeA = [type](LPCSTR root) {
            return root[0] == 'G' ? type : platform::real().GetDriveTypeA(root);
        };
        std::string listed = call(volumes, {c.filter}).text;
        size_t g = listed.find("G:");
        if (c.line == nullptr) {
            EXPECT_EQ(g, std::string::npos) << listed;
        } else {
            ASSERT_NE(g, std::string::npos) << listed;
            EXPECT_EQ(listed.substr(g, std::strlen(c.line)), c.line);
        }
    }
}

TEST_F(VolumeList, DriveListFailuresGiveTheEmptyList) {
    const struct {
        const char *what;
        unsigned failingCall;  // which GetLogicalDriveStringsA call fails
    } cases[] = {{"no size", 1}, {"no fetch", 2}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        platform::reset();
        platform::failCall("GetLogicalDriveStringsA", ERROR_NOT_ENOUGH_MEMORY, c.failingCall);
        EXPECT_EQ(call(volumes), textOf(""));
    }
    platform::reset();
    platform::overrides().GetLogicalDriveStringsA = [](DWORD, LPSTR) -> DWORD { return 0; };
    EXPECT_EQ(call(volumes), textOf(""));
    serveDriveList(std::string(1, '\0'));  // a list of no roots
    EXPECT_EQ(call(volumes), textOf(""));
}

TEST_F(VolumeList, DriveListThatGrowsBetweenSizeAndFetchIsFetchedAgain) {
    std::string all = call(volumes).text;
    platform::reset();
    int grows = 1;  // how many fetches find the list bigger than asked
    platform::overrides().GetLogicalDriveStringsA = [&grows](DWORD size, LPSTR buffer) -> DWORD {
        DWORD real = platform::real().GetLogicalDriveStringsA(size, buffer);
        if (size == 0 || grows == 0) return real;
        --grows;
        std::memset(buffer, 'X', size);  // whatever the buffer holds is not the list
        return size + 4;
    };
    EXPECT_EQ(call(volumes), textOf(all));
    EXPECT_EQ(platform::callCount("GetLogicalDriveStringsA"), 4u);

    grows = 1000;  // a list that never stops growing
    EXPECT_EQ(call(volumes), textOf(""));
}

TEST_F(VolumeList, OnlyWhatThePlatformFilledIsWalked) {
    // A list cut short: the last root has no terminator of its own.
    platform::overrides().GetLogicalDriveStringsA = [](DWORD size, LPSTR buffer) -> DWORD {
        static const char roots[] = {'D', ':', '\\', '\0', 'E', ':', '\\'};
        if (size < sizeof roots) return sizeof roots;
        std::memcpy(buffer, roots, sizeof roots);
        return sizeof roots;
    };
    EXPECT_EQ(call(volumes), textOf(cdromLine + removableLine));
}

TEST_F(VolumeList, AllocationFailureAtEachPointGivesNoPartialList) {
    call(volumes);
    unsigned points = heap_probe::attempts();
    ASSERT_GE(points, 4u);  // roots, record, growth, trim
    for (unsigned n = 1; n <= points; ++n) {
        for (bool everyLater : {false, true}) {
            SCOPED_TRACE("allocation " + std::to_string(n) + (everyLater ? " and later" : ""));
            heap_probe::reset();
            heap_probe::failAttempt(n, everyLater);
            Outcome outcome = call(volumes);
            if (n == points || everyLater)
                EXPECT_EQ(outcome, nullOutcome);
            else
                EXPECT_EQ(outcome, textOf(""));
            EXPECT_EQ(heap_probe::liveBlocks(), 0u);
            EXPECT_EQ(GetErrorMode(), hostErrorMode);
        }
    }
}

}  // namespace
