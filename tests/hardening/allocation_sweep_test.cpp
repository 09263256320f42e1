// Every allocation of every entry that allocates is failed in turn, alone and
// together with every later one: nothing is half done and nothing leaks.
#include <cstring>
#include <map>

#include "dll_test.h"

namespace {

class AllocationSweep : public DllTest {
   protected:
    // Sweeps the query's allocations and returns the complete text.
    std::string sweepQuery(const char *entry, const std::vector<std::string> &args) {
        Outcome complete = call(entry, args);
        EXPECT_FALSE(complete.isNull);
        EXPECT_FALSE(complete.text.empty());
        for (bool everyLater : {false, true}) {
            Outcome outcome;
            unsigned points = sweep(
                {"allocation"}, [&] { outcome = call(entry, args); },
                [&](const FaultRun &run) {
                    EXPECT_EQ(run.leftAlive, 0);
                    if (run.reached) {
                        EXPECT_TRUE(outcome.isNull || outcome.text.empty())
                            << "a partial list: " << outcome.text.substr(0, 80);
                    } else {
                        EXPECT_FALSE(outcome.isNull);
                        EXPECT_EQ(outcome.text.back(), '\n');
                    }
                },
                {everyLater});
            report("allocation sweep of %s%s%s: %u allocation points, 0 blocks leaked\n", entry,
                   args.empty() ? "" : (" " + args[0]).c_str(),
                   everyLater ? " (with every later one failing)" : "", points);
            EXPECT_GE(points, 3u);  // at least the record, a block and the trim
        }
        return complete.text;
    }
};

// The text grows by 256-byte blocks when a piece and its terminator do not fit:
// a piece that starts in one block and ends in the next had its growth failed.
void expectGrowthAt(const std::string &text, const std::string &precedes, size_t length) {
    size_t offset = text.find(precedes);
    ASSERT_NE(offset, std::string::npos) << precedes;
    offset += precedes.size();
    EXPECT_GT((offset + length) / 256, offset / 256) << "no growth after " << precedes;
}

TEST_F(AllocationSweep, ProcessList) {
    // A first name of 255 bytes puts a block boundary on its line feed.
    platform::overrides().Process32First = [](HANDLE snapshot, PROCESSENTRY32 *entry) {
        BOOL found = platform::real().Process32First(snapshot, entry);
        std::memset(entry->szExeFile, 'p', 255);
        entry->szExeFile[255] = '\0';
        return found;
    };
    expectGrowthAt(sweepQuery("zibWin32EnumerateProcesses", {}), std::string(255, 'p'), 1);
}

TEST_F(AllocationSweep, VolumeList) {
    // Labels whose lengths put a block boundary on the first comma of D:'s
    // line, the kind of E:'s, the second comma of F:'s and the line feed of
    // G:'s (unlabelled), one growth in each line.
    const std::map<char, size_t> lengths = {{'C', 243}, {'D', 237}, {'E', 244}, {'F', 245}};
    platform::overrides().GetVolumeInformationA = [&](LPCSTR root, LPSTR label, DWORD size,
                                                      auto...) {
        auto length = lengths.find(root[0]);
        if (length == lengths.end())
            return platform::real().GetVolumeInformationA(root, label, size, nullptr, nullptr,
                                                          nullptr, nullptr, 0);
        lstrcpynA(label, std::string(length->second, root[0]).c_str(), size);
        return TRUE;
    };
    std::string text = sweepQuery("zibWin32EnumerateVolumes", {});
    expectGrowthAt(text, "\nD:", 1);
    expectGrowthAt(text, "\nE:,", std::strlen("removable"));
    expectGrowthAt(text, "\nF:,remote", 1);
    expectGrowthAt(text, "\nG:,fixed,", 1);
}

TEST_F(AllocationSweep, FilteredVolumeList) {
    sweepQuery("zibWin32EnumerateVolumes", {"cdrom remote"});
}

TEST_F(AllocationSweep, Attach) {
    HWND other = createTestWindow();
    call("zibWin32Attach", {idOf(other)});  // a hooked window whose record must survive
    HANDLE otherRecord = GetPropA(other, hookProperty);
    ASSERT_NE(otherRecord, nullptr);
    for (bool everyLater : {false, true}) {
        HWND window = nullptr, hookedWhole = nullptr;
        WNDPROC ownProc = nullptr;
        size_t recordsBefore = platform::liveBlocks();
        unsigned points = sweep(
            {"allocation"},
            [&] {
                window = createTestWindow();
                ownProc = currentProcOf(window);
                call("zibWin32Attach", {idOf(window)});
                if (hookedWhole == nullptr) hookedWhole = window;  // the run where nothing fails
            },
            [&](const FaultRun &run) {
                EXPECT_TRUE(run.reached);
                EXPECT_EQ(currentProcOf(window), ownProc);
                EXPECT_FALSE(isHooked(window));
                EXPECT_EQ(run.leftAlive, 0);
            },
            {everyLater});
        EXPECT_TRUE(isHooked(hookedWhole));
        EXPECT_EQ(platform::liveBlocks(), recordsBefore + 1) << "the hooked window's record";
        EXPECT_EQ(GetPropA(other, hookProperty), otherRecord);
        report("allocation sweep of zibWin32Attach%s: %u allocation points, "
               "0 blocks leaked\n",
               everyLater ? " (with every later one failing)" : "", points);
        EXPECT_EQ(points, 1u);
        DestroyWindow(hookedWhole);
    }
}

}  // namespace
