// "zibWin32EnumerateVolumes" on the drives of the test prefix (see
// tools/wine/make-prefix.sh), and with faults injected into the DLL's imports.
#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

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

const std::string nonAnsiLabelLine = "L:,fixed,Z\xC9?\n";  // "ZÉ中" in cp1252, this program's
const std::string systemLine = "C:,fixed,\n";
const std::string unixRootLine = "Z:,fixed,\n";
// Every drive of the prefix in the platform's order, Wine's own C: and Z:
// among them; J:, whose folder is gone, has no root directory.
const std::string everyDrive = systemLine + cdromLine + removableLine + remoteLine +
                               unlabelledLine + longestLabelLine + ramdiskLine + label32Line +
                               nonAnsiLabelLine + unixRootLine;

// The list without the given lines.
std::string without(std::string list, std::initializer_list<std::string> lines) {
    for (const std::string &line : lines) list.erase(list.find(line), line.size());
    return list;
}

class VolumeList : public DllTest {
   protected:
    // The host's own modes, process-wide and of this thread, which every call
    // must leave as it found them.
    void SetUp() override {
        DllTest::SetUp();
        SetErrorMode(hostErrorMode);
        SetThreadErrorMode(hostThreadErrorMode, nullptr);
    }
    void TearDown() override {
        EXPECT_EQ(GetErrorMode(), hostErrorMode) << "the host's error mode was not restored";
        EXPECT_EQ(GetThreadErrorMode(), hostThreadErrorMode)
            << "the thread's mode was not restored";
        SetErrorMode(0);
        SetThreadErrorMode(0, nullptr);
        DllTest::TearDown();
    }
    // Fails the label read of the drives whose letters are given: the i-th
    // of them with errors[(i + turn) % size], so that over the turns each
    // drive fails with each error. The other drives are read.
    void failLabels(const std::string &letters, std::vector<DWORD> errors, size_t turn = 0) {
        platform::overrides().GetVolumeInformationA = [=](LPCSTR root, LPSTR label, DWORD size,
                                                          auto...) {
            size_t i = letters.find(root[0]);
            if (i != std::string::npos) {
                SetLastError(errors[(i + turn) % errors.size()]);
                return FALSE;
            }
            return platform::real().GetVolumeInformationA(root, label, size, nullptr, nullptr,
                                                          nullptr, nullptr, 0);
        };
    }
    // The drive list as the platform reports it, with roots replaced.
    void serveDriveList(std::string roots) {
        platform::overrides().GetLogicalDriveStringsA = [roots](DWORD size, LPSTR buffer) -> DWORD {
            if (size < roots.size()) return static_cast<DWORD>(roots.size());
            std::memcpy(buffer, roots.data(), roots.size());
            return static_cast<DWORD>(roots.size() - 1);
        };
    }
    const UINT hostErrorMode = SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;
    const DWORD hostThreadErrorMode = SEM_NOOPENFILEERRORBOX;
};

TEST_F(VolumeList, ListsEveryReadyDriveAsThePlatformReportsIt) {
    EXPECT_EQ(call(volumes), textOf(everyDrive));
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

// Critical-error boxes are off while labels are read: for the calling thread
// alone where the platform has a mode of the thread's own, else process-wide.
TEST_F(VolumeList, ReadsLabelsWithRoomForAnyLabelAndNoCriticalErrorBoxes) {
    const UINT quiet = SEM_FAILCRITICALERRORS;
    const struct {
        const char *platform;
        std::function<void()> arrange;
        UINT processMode, threadMode;  // while the labels are read
    } cases[] = {
        {"with the thread's own mode", [] {}, hostErrorMode, quiet},
        {"without it",
         [] {
             platform::overrides().GetProcAddress = [](HMODULE module, LPCSTR name) -> FARPROC {
                 if (std::string(name) == "SetThreadErrorMode") return nullptr;
                 return platform::real().GetProcAddress(module, name);
             };
         },
         quiet, hostThreadErrorMode},
        {"thread's mode refused",
         [] { platform::fail("SetThreadErrorMode", {1, 1, ERROR_INVALID_PARAMETER}); }, quiet,
         hostThreadErrorMode},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.platform);
        platform::reset();
        c.arrange();
        std::vector<std::pair<UINT, UINT>> modes;
        platform::overrides().GetVolumeInformationA = [&](LPCSTR root, LPSTR label, DWORD size,
                                                          auto...) {
            EXPECT_EQ(size, static_cast<DWORD>(MAX_PATH + 1));
            modes.emplace_back(GetErrorMode(), GetThreadErrorMode());
            return platform::real().GetVolumeInformationA(root, label, size, nullptr, nullptr,
                                                          nullptr, nullptr, 0);
        };
        EXPECT_EQ(call(volumes), textOf(everyDrive));
        ASSERT_FALSE(modes.empty());
        for (const auto &mode : modes) {
            EXPECT_EQ(mode.first, c.processMode) << "process-wide";
            EXPECT_EQ(mode.second, c.threadMode) << "the thread's own";
        }
        EXPECT_EQ(GetErrorMode(), hostErrorMode);
        EXPECT_EQ(GetThreadErrorMode(), hostThreadErrorMode);
    }
}

// What label reads of real machines' drives leave in the last error, injected
// where Wine's drives read: empty, BitLocker-locked (an HRESULT), unformatted,
// unpartitioned, pulled, closed by policy, failing or short of resources
// drives; codes nobody names; none at all.
const std::vector<DWORD> unreadableVolumeErrors = {ERROR_NOT_READY,
                                                   ERROR_NOT_SUPPORTED,
                                                   ERROR_NO_MEDIA_IN_DRIVE,
                                                   0x80310000,
                                                   ERROR_UNRECOGNIZED_VOLUME,
                                                   ERROR_INVALID_PARAMETER,
                                                   ERROR_DEVICE_NOT_CONNECTED,
                                                   ERROR_FILE_NOT_FOUND,
                                                   ERROR_PATH_NOT_FOUND,
                                                   ERROR_DEV_NOT_EXIST,
                                                   ERROR_FILE_INVALID,
                                                   ERROR_ACCESS_DENIED,
                                                   ERROR_CRC,
                                                   ERROR_IO_DEVICE,
                                                   ERROR_DISK_CORRUPT,
                                                   ERROR_SEM_TIMEOUT,
                                                   ERROR_NOT_ENOUGH_MEMORY,
                                                   ERROR_OUTOFMEMORY,
                                                   ERROR_NO_SYSTEM_RESOURCES,
                                                   ERROR_BAD_LENGTH,
                                                   ERROR_INVALID_FUNCTION,
                                                   0x8031FFFF,
                                                   0xFFFFFFFF,
                                                   ERROR_SUCCESS};

// The errors of a network drive whose share cannot be reached.
const std::vector<DWORD> unreachableShareErrors = {
    ERROR_BAD_NETPATH,        ERROR_NETNAME_DELETED,     ERROR_UNEXP_NET_ERR, ERROR_BAD_NET_NAME,
    ERROR_NO_NET_OR_BAD_PATH, ERROR_NETWORK_UNREACHABLE, ERROR_NOT_CONNECTED, ERROR_SEM_TIMEOUT,
    ERROR_ACCESS_DENIED,      ERROR_LOGON_FAILURE};

// A drive whose label cannot be read holds no ready volume: it drops out of
// the list alone, whatever the error, and the walk goes on.
TEST_F(VolumeList, DriveWhoseLabelCannotBeReadDropsOutAlone) {
    const struct {
        const char *drives;  // whose label reads fail, in turn with each error
        std::vector<DWORD> errors;
        const char *filter;
        std::string expected;
    } states[] = {
        {"D", unreadableVolumeErrors, "", without(everyDrive, {cdromLine})},
        {"E", unreadableVolumeErrors, "removable", ""},
        {"Z", unreadableVolumeErrors, "", without(everyDrive, {unixRootLine})},  // listed last
        {"Z", unreachableShareErrors, "", without(everyDrive, {unixRootLine})},
        {"DE", {ERROR_NOT_READY}, "", without(everyDrive, {cdromLine, removableLine})},
        {"DZ", {0x80310000, ERROR_CRC}, "", without(everyDrive, {cdromLine, unixRootLine})},
        {"GK",
         {ERROR_UNRECOGNIZED_VOLUME, ERROR_DEVICE_NOT_CONNECTED},
         "fixed cdrom",
         without(linesOfKinds(everyDrive, "fixed cdrom"), {unlabelledLine, label32Line})},
        {"F", unreachableShareErrors, "", without(everyDrive, {remoteLine})},
        {"F", unreachableShareErrors, "remote", ""},
        {"F", unreachableShareErrors, "fixed remote", linesOfKinds(everyDrive, "fixed")},
        {"CDEFGHIKLZ", {ERROR_NOT_READY, 0x80310000, ERROR_IO_DEVICE}, "", ""},
    };
    for (const auto &state : states) {
        for (size_t turn = 0; turn < state.errors.size(); ++turn) {
            SCOPED_TRACE(std::string(state.drives) + " failing with " +
                         std::to_string(state.errors[turn]) + ", filter \"" + state.filter + "\"");
            failLabels(state.drives, state.errors, turn);
            EXPECT_EQ(call(volumes, {state.filter}), textOf(state.expected));
        }
    }
}

TEST_F(VolumeList, DriveTypesBeyondTheKnownOnes) {
    const struct {
        UINT type;
        const char *filter;
        const char *line;  // G:'s line, or null when G: is not listed
    } cases[] = {
        {DRIVE_UNKNOWN, "", "G:,unknown,\n"},          {DRIVE_UNKNOWN, "unknown", "G:,unknown,\n"},
        {DRIVE_RAMDISK, "ramdisk", "G:,ramdisk,\n"},   {DRIVE_NO_ROOT_DIR, "", nullptr},
        {DRIVE_NO_ROOT_DIR, "fixed unknown", nullptr}, {7, "", "G:,unknown,\n"},
        {0xFFFFFFFF, "unknown", "G:,unknown,\n"},      {7, "fixed", nullptr},
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
        platform::fail("GetLogicalDriveStringsA", {c.failingCall, 1, ERROR_NOT_ENOUGH_MEMORY});
        EXPECT_EQ(call(volumes), textOf(""));
    }
    platform::reset();
    platform::overrides().GetLogicalDriveStringsA = [](DWORD, LPSTR) -> DWORD { return 0; };
    EXPECT_EQ(call(volumes), textOf(""));
    serveDriveList(std::string(1, '\0'));  // a list of no roots
    EXPECT_EQ(call(volumes), textOf(""));
}

TEST_F(VolumeList, DriveListThatGrowsBetweenSizeAndFetchIsFetchedFourTimesAtMost) {
    const struct {
        int growths;     // how many fetches find the list bigger than asked
        bool listed;     // the list, or ""
        unsigned calls;  // a size and a fetch for each time
    } cases[] = {{0, true, 2}, {1, true, 4}, {3, true, 8}, {4, false, 8}, {1000, false, 8}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.growths) + " growths");
        platform::reset();
        int grows = c.growths;
        platform::overrides().GetLogicalDriveStringsA = [&grows](DWORD size, LPSTR roots) -> DWORD {
            DWORD real = platform::real().GetLogicalDriveStringsA(size, roots);
            if (size == 0 || grows == 0) return real;
            --grows;
            std::memset(roots, 'X', size);  // whatever the buffer holds is not the list
            return size + 4;
        };
        EXPECT_EQ(call(volumes), textOf(c.listed ? everyDrive : ""));
        EXPECT_EQ(platform::callCount("GetLogicalDriveStringsA"), c.calls);
    }
}

// Each call reads labels into a buffer of its own: two threads whose label
// reads wait for each other still list their own.
TEST_F(VolumeList, ThreadsListingAtOnceGetTheirOwnLabels) {
    std::atomic<int> reading{0};
    platform::overrides().GetVolumeInformationA = [&](LPCSTR, LPSTR label, DWORD size, auto...) {
        lstrcpynA(label, ("THREAD" + std::to_string(GetCurrentThreadId())).c_str(), size);
        ++reading;
        for (int waited = 0; reading < 2 && waited < 5000; ++waited) Sleep(1);
        return TRUE;
    };
    std::string expected[2], listed[2];
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i)
        threads.emplace_back([&, i] {
            expected[i] = "D:,cdrom,THREAD" + std::to_string(GetCurrentThreadId()) + "\n";
            listed[i] = call(volumes, {"cdrom"}).text;
        });
    for (std::thread &thread : threads) thread.join();
    EXPECT_EQ(reading, 2);
    EXPECT_EQ(listed[0], expected[0]);
    EXPECT_EQ(listed[1], expected[1]);
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
    // An empty root ends the list, even inside what the platform filled.
    serveDriveList(std::string("D:\\\0\0E:\\\0", 10));
    EXPECT_EQ(call(volumes), textOf(cdromLine));
}

TEST_F(VolumeList, AllocationFailureAtEachPointGivesNoPartialList) {
    for (bool everyLater : {false, true}) {
        Outcome outcome;
        unsigned points = sweep(
            {"allocation"}, [&] { outcome = call(volumes); },
            [&](const FaultRun &run) {
                EXPECT_EQ(outcome, run.call == run.calls || everyLater ? nullOutcome : textOf(""));
                EXPECT_EQ(run.leftAlive, 0);
                EXPECT_EQ(GetErrorMode(), hostErrorMode);
                EXPECT_EQ(GetThreadErrorMode(), hostThreadErrorMode);
            },
            {everyLater});
        EXPECT_GE(points, 4u);  // roots, record, growth, trim
    }
}

}  // namespace
