// "zibWin32Attach" and "zibWin32Detach" on real windows of this thread.
#include "dll_test.h"

namespace {

const char attach[] = "zibWin32Attach";
const char detach[] = "zibWin32Detach";
const char hookProperty[] = "ZIBWIN32_DATA";

class WindowHook : public DllTest {
   protected:
    void SetUp() override {
        DllTest::SetUp();
        window = createTestWindow();
        ASSERT_NE(window, nullptr);
        ownProc = currentProcOf(window);
    }
    bool hooked(HWND w) { return GetPropA(w, hookProperty) != nullptr; }
    // The window is exactly as it was before any command: its own procedure
    // and no property of the library.
    void expectUntouched(HWND w, WNDPROC proc) {
        EXPECT_EQ(currentProcOf(w), proc);
        EXPECT_FALSE(hooked(w));
    }
    HWND window = nullptr;
    WNDPROC ownProc = nullptr;
};

// A second procedure of the test's own, in front of the window's class procedure.
LRESULT CALLBACK forwardingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcA(recordingWindowProc, window, message, wParam, lParam);
}

TEST_F(WindowHook, AttachHooksOnceAndDetachPutsBackTheExactProcedure) {
    call(attach, {idOf(window)});
    WNDPROC hookProc = currentProcOf(window);
    EXPECT_NE(hookProc, ownProc);
    HANDLE record = GetPropA(window, hookProperty);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(heap_probe::liveBlocks(), 1u);

    call(attach, {idOf(window)});
    EXPECT_EQ(currentProcOf(window), hookProc);
    EXPECT_EQ(GetPropA(window, hookProperty), record);
    EXPECT_EQ(heap_probe::liveBlocks(), 1u);

    call(detach, {idOf(window)});
    expectUntouched(window, ownProc);
    EXPECT_EQ(heap_probe::liveBlocks(), 0u);
}

TEST_F(WindowHook, DetachRestoresWhateverProcedureWasThereBefore) {
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(forwardingProc));
    call(attach, {idOf(window)});
    call(detach, {idOf(window)});
    expectUntouched(window, forwardingProc);
}

TEST_F(WindowHook, EveryMessageReachesTheWindowUnchangedWhileNoModeWasEverSet) {
    const UINT query = RegisterWindowMessageA("QueryCancelAutoPlay");
    reactTo(window, WM_USER + 5, [](HWND, UINT, WPARAM w, LPARAM l) { return LRESULT(w * 1000 + l); });
    reactTo(window, query, [](HWND, UINT, WPARAM, LPARAM) { return LRESULT(77); });
    call(attach, {idOf(window)});
    EXPECT_EQ(SendMessageA(window, WM_USER + 5, 12, 34), 12034);
    EXPECT_EQ(SendMessageA(window, query, 0, 0), 77);
    EXPECT_EQ(timesSeen(window, query), 1);
    EXPECT_EQ(SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("retitled")), TRUE);
    char title[32];
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "retitled");
    DestroyWindow(window);
    EXPECT_TRUE(logOf(window).destroyed) << "WM_NCDESTROY did not reach the window's procedure";
}

TEST_F(WindowHook, DestroyingAHookedWindowUnhooksItAndReleasesItsRecord) {
    call(attach, {idOf(window)});
    ASSERT_TRUE(hooked(window));
    std::string id = idOf(window);
    DestroyWindow(window);
    EXPECT_TRUE(logOf(window).destroyed);
    EXPECT_EQ(heap_probe::liveBlocks(), 0u);
    call(detach, {id});
    EXPECT_EQ(heap_probe::liveBlocks(), 0u);
    EXPECT_EQ(platform::callCount("RemovePropA"), 1u) << "only the destruction unhooked it";
}

TEST_F(WindowHook, DetachOfAWindowNeverHookedDoesNothing) {
    call(detach, {idOf(window)});
    expectUntouched(window, ownProc);
    EXPECT_EQ(platform::callCount("RemovePropA"), 0u);
}

TEST_F(WindowHook, AHookedWindowCanBeHookedAgainAfterDetach) {
    for (int round = 0; round < 3; ++round) {
        call(attach, {idOf(window)});
        EXPECT_TRUE(hooked(window));
        call(detach, {idOf(window)});
        expectUntouched(window, ownProc);
    }
}

std::string plus2To32(HWND window) {
    uint64_t id = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
    return std::to_string(id + (uint64_t{1} << 32));
}

std::string minus2To32(HWND window) {
    int64_t id = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
    return std::to_string(id - (int64_t{1} << 32));
}

TEST_F(WindowHook, WindowIdsAreReadAsDecimalNumbers) {
    const std::string id = idOf(window);
    const struct {
        std::vector<std::string> args;
        bool hooks;
    } cases[] = {
        {{id}, true},
        {{"  " + id + "xyz"}, true},
        {{"\t\n+" + id}, true},
        {{id + " 1"}, true},
        {{plus2To32(window)}, true},
        {{minus2To32(window)}, true},
        {{"00000" + id}, true},
        {{}, false},
        {{id, id}, false},
        {{id, ""}, false},
        {{""}, false},
        {{"   "}, false},
        {{"x" + id}, false},
        {{"-"}, false},
        {{"+ " + id}, false},
        {{"0"}, false},
        {{"-" + id}, false},
        {{"1"}, false},
        {{"4294967295"}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.empty() ? "no argument" : "\"" + c.args[0] + "\"");
        heap_probe::reset();
        call(attach, c.args);
        EXPECT_EQ(hooked(window), c.hooks);
        if (!c.hooks) {
            expectUntouched(window, ownProc);
            EXPECT_EQ(heap_probe::attempts(), 0u) << "a record was made for no window";
        }
        call(detach, c.args);
        expectUntouched(window, ownProc);
    }
}

TEST_F(WindowHook, WindowsOfAnotherThreadAreLeftAlone) {
    ForeignWindow foreign = startForeignWindow();
    ASSERT_NE(foreign.window, nullptr);
    WNDPROC foreignProc = currentProcOf(foreign.window);
    call(attach, {idOf(foreign.window)});
    expectUntouched(foreign.window, foreignProc);
    SetPropA(foreign.window, hookProperty, reinterpret_cast<HANDLE>(0x1234));
    call("zibWin32SetAutoplayMode", {idOf(foreign.window), "deny"});
    call(detach, {idOf(foreign.window)});
    EXPECT_EQ(GetPropA(foreign.window, hookProperty), reinterpret_cast<HANDLE>(0x1234))
        << "the property of a foreign window was read or removed";
    EXPECT_EQ(currentProcOf(foreign.window), foreignProc);
    RemovePropA(foreign.window, hookProperty);
    EXPECT_EQ(heap_probe::attempts(), 0u);
    stopForeignWindow(foreign);
}

struct AttachFault {
    const char *what;
    void (*inject)();
    unsigned procedureChanges;  // SetWindowLong calls the attach makes
};

TEST_F(WindowHook, FailedAttachLeavesTheWindowExactlyAsItWas) {
    const AttachFault faults[] = {
        {"no memory for the record", [] { heap_probe::failAttempt(1); }, 0},
        {"procedure not replaced",
         [] { platform::failCall("SetWindowLong", ERROR_ACCESS_DENIED); }, 1},
        {"property not stored",
         [] { platform::failCall("SetPropA", ERROR_NOT_ENOUGH_MEMORY); }, 2},
    };
    for (const AttachFault &fault : faults) {
        SCOPED_TRACE(fault.what);
        platform::reset();
        heap_probe::reset();
        fault.inject();
        call(attach, {idOf(window)});
        expectUntouched(window, ownProc);
        EXPECT_EQ(platform::callCount("SetWindowLong"), fault.procedureChanges);
        EXPECT_EQ(heap_probe::liveBlocks(), 0u);
        int seen = timesSeen(window, WM_USER + 9);
        SendMessageA(window, WM_USER + 9, 0, 0);
        EXPECT_EQ(timesSeen(window, WM_USER + 9), seen + 1);
        // Nothing is left half done: the next attach works.
        call(attach, {idOf(window)});
        EXPECT_TRUE(hooked(window));
        call(detach, {idOf(window)});
    }
}

TEST_F(WindowHook, PreviousProcedureThatDestroysItsWindowMidMessage) {
    reactTo(window, WM_USER + 1, [](HWND w, UINT, WPARAM, LPARAM) {
        DestroyWindow(w);
        return LRESULT(5);
    });
    call(attach, {idOf(window)});
    EXPECT_EQ(SendMessageA(window, WM_USER + 1, 0, 0), 5);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(logOf(window).destroyed);
    EXPECT_EQ(heap_probe::liveBlocks(), 0u);
}

TEST_F(WindowHook, MessagesSentFromInsideTheChainAreHookedToo) {
    reactTo(window, WM_USER + 2, [](HWND w, UINT, WPARAM depth, LPARAM) {
        return depth == 0 ? LRESULT(1) : SendMessageA(w, WM_USER + 2, depth - 1, 0) + 1;
    });
    call(attach, {idOf(window)});
    EXPECT_EQ(SendMessageA(window, WM_USER + 2, 20, 0), 21);
    EXPECT_EQ(timesSeen(window, WM_USER + 2), 21);
}

TEST_F(WindowHook, UnhookedFromInsideItsOwnMessage) {
    reactTo(window, WM_USER + 3, [this](HWND w, UINT, WPARAM, LPARAM) {
        call(detach, {idOf(w)});
        return LRESULT(8);
    });
    call(attach, {idOf(window)});
    EXPECT_EQ(SendMessageA(window, WM_USER + 3, 0, 0), 8);
    expectUntouched(window, ownProc);
    EXPECT_EQ(heap_probe::liveBlocks(), 0u);
    // Hooked again from inside, then destroyed from inside.
    reactTo(window, WM_USER + 3, [this](HWND w, UINT, WPARAM, LPARAM) {
        call(attach, {idOf(w)});
        DestroyWindow(w);
        return LRESULT(9);
    });
    EXPECT_EQ(SendMessageA(window, WM_USER + 3, 0, 0), 9);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(heap_probe::liveBlocks(), 0u);
}


// Someone else took the property of a hooked window away: attaching it again
// must not chain the hook to itself, which would send every message of the
// window round in a circle.
TEST_F(WindowHook, AHookedWindowThatLostItsPropertyIsNotHookedTwice) {
    call(attach, {idOf(window)});
    WNDPROC hookProc = currentProcOf(window);
    HANDLE record = RemovePropA(window, hookProperty);
    ASSERT_NE(record, nullptr);
    call(attach, {idOf(window)});
    EXPECT_EQ(currentProcOf(window), hookProc);
    EXPECT_FALSE(hooked(window));
    EXPECT_EQ(heap_probe::liveBlocks(), 1u) << "only the orphaned record is alive";
    SendMessageA(window, WM_USER + 7, 0, 0);  // returns, instead of recursing without end
    SetPropA(window, hookProperty, record);   // given back, so that destruction releases it
}

// A detach that cannot be done whole (the property cannot be removed, or the
// procedure cannot be put back) leaves the window hooked, with its record:
// its property never names a released block, the hook never runs without it.
TEST_F(WindowHook, DetachThatCannotBeDoneWholeLeavesTheWindowHooked) {
    const UINT query = RegisterWindowMessageA("QueryCancelAutoPlay");
    reactTo(window, WM_USER + 8, [](HWND, UINT, WPARAM, LPARAM) { return LRESULT(3); });
    for (const char *function : {"RemovePropA", "SetWindowLong"}) {
        SCOPED_TRACE(function);
        call(attach, {idOf(window)});
        WNDPROC hookProc = currentProcOf(window);
        platform::failCall(function, ERROR_ACCESS_DENIED);
        call(detach, {idOf(window)});
        EXPECT_TRUE(hooked(window));
        EXPECT_EQ(currentProcOf(window), hookProc);
        EXPECT_EQ(heap_probe::liveBlocks(), 1u);
        call("zibWin32SetAutoplayMode", {idOf(window), "deny"});
        EXPECT_EQ(SendMessageA(window, query, 0, 0), 1);
        EXPECT_EQ(SendMessageA(window, WM_USER + 8, 0, 0), 3) << "messages still reach the window";
        call(detach, {idOf(window)});
        expectUntouched(window, ownProc);
        EXPECT_EQ(heap_probe::liveBlocks(), 0u);
    }
}

// A window being destroyed gives its record up even when unhooking it fails.
TEST_F(WindowHook, DestroyedWindowReleasesItsRecordWhateverFailsOnTheWay) {
    for (const char *function : {"RemovePropA", "SetWindowLong"}) {
        SCOPED_TRACE(function);
        HWND doomed = createTestWindow();
        call(attach, {idOf(doomed)});
        platform::reset();
        platform::failCall(function, ERROR_INVALID_WINDOW_HANDLE);
        DestroyWindow(doomed);
        EXPECT_EQ(platform::callCount(function), 1u);
        EXPECT_EQ(heap_probe::liveBlocks(), 0u);
    }
}

}  // namespace
