// Every allocation of every entry that allocates is failed in turn, alone and
// together with every later one: nothing is half done and nothing leaks.
#include "dll_test.h"

namespace {

class AllocationSweep : public DllTest {
   protected:
    void sweepQuery(const char *entry, const std::vector<std::string> &args) {
        Outcome complete = call(entry, args);
        ASSERT_FALSE(complete.isNull);
        ASSERT_FALSE(complete.text.empty());
        for (bool everyLater : {false, true}) {
            Outcome outcome;
            unsigned points = sweep({"allocation"}, [&] { outcome = call(entry, args); },
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
            report("allocation sweep of %s%s%s: %u allocation points, 0 blocks leaked\n",
                   entry, args.empty() ? "" : (" " + args[0]).c_str(),
                   everyLater ? " (with every later one failing)" : "", points);
            EXPECT_GE(points, 3u);  // at least the record, a block and the trim
        }
    }
};

TEST_F(AllocationSweep, ProcessList) { sweepQuery("zibWin32EnumerateProcesses", {}); }

TEST_F(AllocationSweep, VolumeList) { sweepQuery("zibWin32EnumerateVolumes", {}); }

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
