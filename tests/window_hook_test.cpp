// "zibWin32Attach" and "zibWin32Detach" on real windows of this thread, ANSI
// windows and Unicode windows alike.
#include "dll_test.h"

namespace {

const char attach[] = "zibWin32Attach";
const char detach[] = "zibWin32Detach";
const char hookProperty[] = "ZIBWIN32_DATA";

// Procedures of the test's own, to stand before or after the hook.
LRESULT CALLBACK forwardingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcA(recordingWindowProc, window, message, wParam, lParam);
}

LRESULT CALLBACK forwardingProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(recordingWindowProcW, window, message, wParam, lParam);
}

class WindowHook : public DllTest, public ::testing::WithParamInterface<CharacterSet> {
   protected:
    void SetUp() override {
        DllTest::SetUp();
        window = createTestWindow(GetParam());
        ASSERT_NE(window, nullptr);
        ownProc = currentProcOf(window);
    }
    bool unicode() const { return GetParam() == CharacterSet::Unicode; }
    bool hooked(HWND w) { return GetPropA(w, hookProperty) != nullptr; }
    // The window is exactly as it was before any command: its own procedure,
    // its own character set and no property of the library.
    void expectUntouched(HWND w, WNDPROC proc) { expectUntouched(w, proc, unicode()); }
    void expectUntouched(HWND w, WNDPROC proc, bool wasUnicode) {
        EXPECT_EQ(currentProcOf(w), proc);
        EXPECT_EQ(IsWindowUnicode(w) != FALSE, wasUnicode);
        EXPECT_FALSE(hooked(w));
    }
    // The import through which the DLL changes this window's procedure.
    const char *setWindowLong() const { return unicode() ? "SetWindowLongW" : "SetWindowLongA"; }
    WNDPROC forwarding() const { return unicode() ? forwardingProcW : forwardingProc; }
    // Puts proc in front of whatever the window has, in the window's character set.
    void subclass(HWND w, WNDPROC proc) {
        if (unicode())
            SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
        else
            SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
    }
    LRESULT defaultAnswer(HWND w, UINT message, WPARAM wParam, LPARAM lParam) const {
        return unicode() ? DefWindowProcW(w, message, wParam, lParam)
                         : DefWindowProcA(w, message, wParam, lParam);
    }
    HWND window = nullptr;
    WNDPROC ownProc = nullptr;
};

TEST_P(WindowHook, AttachHooksOnceAndDetachPutsBackTheExactProcedure) {
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

    EXPECT_EQ(IsWindowUnicode(window) != FALSE, unicode()) << "hooked in the wrong character set";

    call(detach, {idOf(window)});
    expectUntouched(window, ownProc);
    EXPECT_EQ(heap_probe::liveBlocks(), 0u);
}

// Detach puts back the procedure the window had before attach, whichever
// procedure the window has when it is detached.
TEST_P(WindowHook, DetachRestoresWhateverProcedureWasThereBefore) {
    const struct {
        const char *what;
        bool subclassBeforeAttach;
    } cases[] = {{"subclassed before the hook", true}, {"subclassed in front of the hook", false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        HWND w = createTestWindow(GetParam());
        if (c.subclassBeforeAttach) subclass(w, forwarding());
        WNDPROC beforeAttach = currentProcOf(w);
        call(attach, {idOf(w)});
        if (!c.subclassBeforeAttach) subclass(w, forwarding());
        call(detach, {idOf(w)});
        expectUntouched(w, beforeAttach);
        DestroyWindow(w);
    }
}

// Text that the ANSI code page cannot hold reaches a Unicode window's own
// procedure intact, and an ANSI window gets exactly what it got unhooked.
TEST_P(WindowHook, TextReachesTheWindowsOwnProcedureAsItDoesUnhooked) {
    // For a sender of UTF-16 text, characters that the code page (cp1252
    // here) lacks; for a sender of ANSI text, characters of the code page.
    const std::wstring wideText = L"\x65E5\x672C\x8A9E \x03A9 \x0416";
    const std::wstring ansiText = L"Gr\xFC\xDF" L"e \x20AC \xBD";
    struct Seen {
        std::wstring setText, readBack;
        WPARAM character;
        bool operator==(const Seen &o) const {
            return setText == o.setText && readBack == o.readBack && character == o.character;
        }
    };
    for (bool wideSender : {true, false}) {
        SCOPED_TRACE(wideSender ? "sent as UTF-16" : "sent as ANSI text");
        const std::wstring &text = wideSender ? wideText : ansiText;
        const WPARAM character = wideSender ? 0x65E5 : 0xFC;
        std::string narrow(64, '\0');
        narrow.resize(WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &narrow[0], 64, nullptr,
                                          nullptr) - 1);
        HWND w = createTestWindow(GetParam());
        // The title as the sender reads it (WM_GETTEXT), widened.
        auto readTitle = [&] {
            if (wideSender) {
                wchar_t title[64] = L"";
                GetWindowTextW(w, title, 64);
                return std::wstring(title);
            }
            char title[64] = "";
            GetWindowTextA(w, title, 64);
            return widened(title);
        };
        // Sets the title, reads it back and types a character, as the sender
        // does: what the window's own procedure got, and what was read back.
        auto exchange = [&] {
            if (wideSender) {
                SendMessageW(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
                SendMessageW(w, WM_CHAR, character, 1);
            } else {
                SendMessageA(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(narrow.c_str()));
                SendMessageA(w, WM_CHAR, character, 1);
            }
            return Seen{logOf(w).texts.back(), readTitle(), logOf(w).characters.back()};
        };
        Seen unhooked = exchange();
        call(attach, {idOf(w)});
        ASSERT_TRUE(hooked(w));
        EXPECT_EQ(readTitle(), unhooked.readBack) << "the title set before the hook changed";
        Seen whileHooked = exchange();
        EXPECT_TRUE(whileHooked == unhooked);
        if (unicode() || !wideSender) {
            EXPECT_EQ(whileHooked.setText, text);
            EXPECT_EQ(whileHooked.readBack, text);
            EXPECT_EQ(whileHooked.character, character);
        }
        call(detach, {idOf(w)});
        EXPECT_TRUE(exchange() == unhooked);
        DestroyWindow(w);
    }
}

TEST_P(WindowHook, EveryMessageReachesTheWindowUnchangedWhileNoModeWasEverSet) {
    const UINT query = RegisterWindowMessageA("QueryCancelAutoPlay");
    reactTo(window, WM_USER + 5, [](HWND, UINT, WPARAM w, LPARAM l) { return LRESULT(w * 1000 + l); });
    reactTo(window, query, [](HWND, UINT, WPARAM, LPARAM) { return LRESULT(77); });
    call(attach, {idOf(window)});
    EXPECT_EQ(SendMessageA(window, WM_USER + 5, 12, 34), 12034);
    EXPECT_EQ(SendMessageA(window, query, 0, 0), 77);
    EXPECT_EQ(timesSeen(window, query), 1);
    // Message 0 is no AutoPlay query while none is known.
    SendMessageA(window, WM_NULL, 0, 0);
    EXPECT_EQ(timesSeen(window, WM_NULL), 1);
    EXPECT_EQ(SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("retitled")), TRUE);
    char title[32];
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "retitled");
    DestroyWindow(window);
    EXPECT_TRUE(logOf(window).destroyed) << "WM_NCDESTROY did not reach the window's procedure";
}

// The window is unhooked before its own procedure sees WM_NCDESTROY, so that
// whatever that procedure does last finds the window as it was before attach.
TEST_P(WindowHook, DestroyingAHookedWindowUnhooksItAndReleasesItsRecord) {
    HANDLE propertyInside = reinterpret_cast<HANDLE>(-1);
    WNDPROC procInside = nullptr;
    reactTo(window, WM_NCDESTROY, [&](HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
        propertyInside = GetPropA(w, hookProperty);
        procInside = currentProcOf(w);
        return defaultAnswer(w, message, wParam, lParam);
    });
    call(attach, {idOf(window)});
    ASSERT_TRUE(hooked(window));
    std::string id = idOf(window);
    DestroyWindow(window);
    EXPECT_TRUE(logOf(window).destroyed);
    EXPECT_EQ(propertyInside, nullptr) << "still hooked inside its own WM_NCDESTROY";
    EXPECT_EQ(procInside, ownProc);
    EXPECT_EQ(heap_probe::liveBlocks(), 0u);
    call(detach, {id});
    EXPECT_EQ(heap_probe::liveBlocks(), 0u);
    EXPECT_EQ(platform::callCount("RemovePropA"), 1u) << "only the destruction unhooked it";
}

TEST_P(WindowHook, DetachOfAWindowNeverHookedDoesNothing) {
    call(detach, {idOf(window)});
    expectUntouched(window, ownProc);
    EXPECT_EQ(platform::callCount("RemovePropA"), 0u);
}

TEST_P(WindowHook, AHookedWindowCanBeHookedAgainAfterDetach) {
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

TEST_P(WindowHook, WindowIdsAreReadAsDecimalNumbers) {
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

TEST_P(WindowHook, WindowsOfAnotherThreadAreLeftAlone) {
    ForeignWindow foreign = startForeignWindow();
    ASSERT_NE(foreign.window, nullptr);
    WNDPROC foreignProc = currentProcOf(foreign.window);
    call(attach, {idOf(foreign.window)});
    expectUntouched(foreign.window, foreignProc, false);
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
    void (*inject)(const char *setWindowLong);
    unsigned procedureChanges;  // SetWindowLong calls the attach makes
};

TEST_P(WindowHook, FailedAttachLeavesTheWindowExactlyAsItWas) {
    const AttachFault faults[] = {
        {"no memory for the record", [](const char *) { heap_probe::failAttempt(1); }, 0},
        {"procedure not replaced",
         [](const char *setWindowLong) { platform::failCall(setWindowLong, ERROR_ACCESS_DENIED); },
         1},
        {"property not stored",
         [](const char *) { platform::failCall("SetPropA", ERROR_NOT_ENOUGH_MEMORY); }, 2},
        {"module not pinned",
         [](const char *) { platform::failCall("GetModuleHandleExW", ERROR_MOD_NOT_FOUND); }, 2},
    };
    for (const AttachFault &fault : faults) {
        SCOPED_TRACE(fault.what);
        reload();  // a module that was never pinned
        window = createTestWindow(GetParam());
        fault.inject(setWindowLong());
        call(attach, {idOf(window)});
        expectUntouched(window, ownProc);
        EXPECT_EQ(platform::callCount(setWindowLong()), fault.procedureChanges);
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

TEST_P(WindowHook, PreviousProcedureThatDestroysItsWindowMidMessage) {
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

TEST_P(WindowHook, MessagesSentFromInsideTheChainAreHookedToo) {
    reactTo(window, WM_USER + 2, [](HWND w, UINT, WPARAM depth, LPARAM) {
        return depth == 0 ? LRESULT(1) : SendMessageA(w, WM_USER + 2, depth - 1, 0) + 1;
    });
    call(attach, {idOf(window)});
    EXPECT_EQ(SendMessageA(window, WM_USER + 2, 20, 0), 21);
    EXPECT_EQ(timesSeen(window, WM_USER + 2), 21);
}

TEST_P(WindowHook, UnhookedFromInsideItsOwnMessage) {
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
TEST_P(WindowHook, AHookedWindowThatLostItsPropertyIsNotHookedTwice) {
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
TEST_P(WindowHook, DetachThatCannotBeDoneWholeLeavesTheWindowHooked) {
    const UINT query = RegisterWindowMessageA("QueryCancelAutoPlay");
    reactTo(window, WM_USER + 8, [](HWND, UINT, WPARAM, LPARAM) { return LRESULT(3); });
    for (const char *function : {"RemovePropA", setWindowLong()}) {
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
TEST_P(WindowHook, DestroyedWindowReleasesItsRecordWhateverFailsOnTheWay) {
    for (const char *function : {"RemovePropA", setWindowLong()}) {
        SCOPED_TRACE(function);
        HWND doomed = createTestWindow(GetParam());
        call(attach, {idOf(doomed)});
        platform::reset();
        platform::failCall(function, ERROR_INVALID_WINDOW_HANDLE);
        DestroyWindow(doomed);
        EXPECT_EQ(platform::callCount(function), 1u);
        EXPECT_EQ(heap_probe::liveBlocks(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(WindowHook, WindowHook,
                         ::testing::Values(CharacterSet::Ansi, CharacterSet::Unicode),
                         characterSetName);

}  // namespace
