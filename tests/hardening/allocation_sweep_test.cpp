// Every allocation of every entry that allocates is failed in turn, alone and
// together with every later one: nothing is half done and nothing leaks.
#include <cstdio>
#include <functional>

#include "dll_test.h"

namespace {

class AllocationSweep : public DllTest {
   protected:
    // For n = 1, 2, ...: runs the call with its n-th allocation failing (and
    // every later one too, with everyLater), then checks it, told whether the
    // failure was reached and how many blocks the call left alive. Ends with
    // the first run that needs no failure; returns the points swept.
    unsigned sweep(bool everyLater, const std::function<void()> &run,
                   const std::function<void(bool failed, long leftAlive)> &check) {
        for (unsigned n = 1;; ++n) {
            SCOPED_TRACE("allocation " + std::to_string(n) + (everyLater ? " and later" : ""));
            long live = static_cast<long>(heap_probe::liveBlocks());
            unsigned before = heap_probe::attempts();
            heap_probe::failAttempt(n, everyLater);
            run();
            heap_probe::failAttempt(0);
            bool failed = heap_probe::attempts() - before >= n;
            check(failed, static_cast<long>(heap_probe::liveBlocks()) - live);
            if (!failed) return n - 1;
        }
    }

    void sweepQuery(const char *entry, const std::vector<std::string> &args) {
        Outcome complete = call(entry, args);
        ASSERT_FALSE(complete.isNull);
        ASSERT_FALSE(complete.text.empty());
        for (bool everyLater : {false, true}) {
            Outcome outcome;
            unsigned points = sweep(
                everyLater, [&] { outcome = call(entry, args); },
                [&](bool failed, long leftAlive) {
                    EXPECT_EQ(leftAlive, 0);
                    if (failed) {
                        EXPECT_TRUE(outcome.isNull || outcome.text.empty())
                            << "a partial list: " << outcome.text.substr(0, 80);
                    } else {
                        EXPECT_FALSE(outcome.isNull);
                        EXPECT_EQ(outcome.text.back(), '\n');
                    }
                });
            std::printf("hardening: allocation sweep of %s%s%s: %u allocation points, 0 blocks leaked\n",
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
        HWND window = createTestWindow();
        WNDPROC ownProc = currentProcOf(window);
        unsigned points = sweep(
            everyLater, [&] { call("zibWin32Attach", {idOf(window)}); },
            [&](bool failed, long leftAlive) {
                if (failed) {
                    EXPECT_EQ(currentProcOf(window), ownProc);
                    EXPECT_FALSE(isHooked(window));
                    EXPECT_EQ(leftAlive, 0);
                } else {
                    EXPECT_TRUE(isHooked(window));
                    EXPECT_EQ(leftAlive, 1) << "the window's record";
                }
            });
        EXPECT_EQ(GetPropA(other, hookProperty), otherRecord);
        std::printf("hardening: allocation sweep of zibWin32Attach%s: %u allocation points, "
                    "0 blocks leaked\n",
                    everyLater ? " (with every later one failing)" : "", points);
        EXPECT_EQ(points, 1u);
        DestroyWindow(window);
    }
}

}  // namespace
