// "zibWin32Attach" and "zibWin32Detach" on real windows of this thread, ANSI
// windows and Unicode windows alike.
#include "dll_test.h"

#include <commctrl.h>  // after windows.h
#include <iostream>
#include <map>

namespace {

const char attach[] = "zibWin32Attach";
const char detach[] = "zibWin32Detach";
const UINT probe = WM_USER + 4;  // traced through the window's chain

// Subclasses of the host's own, in the window's chain: comctl32's, and a
// plain one that forwards to the procedure it replaced.
std::map<HWND, WNDPROC> replacedBy;

LRESULT CALLBACK plainSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seenBy("subclass", message);
    return (IsWindowUnicode(window) ? CallWindowProcW : CallWindowProcA)(replacedBy[window], window,
                                                                         message, wParam, lParam);
}

LRESULT CALLBACK comctlSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                DWORD_PTR) {
    seenBy("subclass", message);
    return DefSubclassProc(window, message, wParam, lParam);
}

// Puts proc in front of whatever the window has, in the given character set.
WNDPROC swapProc(HWND window, WNDPROC proc, bool unicode) {
    return reinterpret_cast<WNDPROC>((unicode ? SetWindowLongPtrW : SetWindowLongPtrA)(
        window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc)));
}

// The host's own subclass, put in front of whatever the window has: with
// comctl32, or plainly in the window's character set; and taken out again.
void addSubclass(HWND w, bool comctl, bool unicode) {
    if (comctl)
        SetWindowSubclass(w, comctlSubclass, 1, 0);
    else
        replacedBy[w] = swapProc(w, plainSubclass, unicode);
}
void removeSubclass(HWND w, bool comctl, bool unicode) {
    if (comctl)
        RemoveWindowSubclass(w, comctlSubclass, 1);
    else
        swapProc(w, replacedBy[w], unicode);
}

// Where failures leave a window; its property always names a live record.
enum class After { Untouched, Hooked, RecordKept /* own procedure, property stays */ };

// Failures to inject: a platform call ("SetWindowLong" in the window's
// character set, "calloc" for the heap) failing at its nth call from now.
using Faults = std::vector<std::pair<std::string, unsigned>>;

class WindowHook : public DllTest, public ::testing::WithParamInterface<CharacterSet> {
   protected:
    void SetUp() override {
        DllTest::SetUp();
        window = createTestWindow(GetParam());
        ASSERT_NE(window, nullptr);
        ownProc = currentProcOf(window);
    }
    bool unicode() const { return GetParam() == CharacterSet::Unicode; }
    // The window is exactly as it was before any command: its own procedure,
    // its own character set and no property of the library.
    void expectUntouched(HWND w, WNDPROC proc) { expectUntouched(w, proc, unicode()); }
    void expectUntouched(HWND w, WNDPROC proc, bool wasUnicode) {
        EXPECT_EQ(currentProcOf(w), proc);
        EXPECT_EQ(IsWindowUnicode(w) != FALSE, wasUnicode);
        EXPECT_FALSE(isHooked(w));
    }
    void expectAfter(After after) {
        EXPECT_EQ(isHooked(window), after != After::Untouched);
        EXPECT_EQ(platform::liveBlocks(), after == After::Untouched ? 0u : 1u);
        EXPECT_EQ(currentProcOf(window) == ownProc, after != After::Hooked);
        int seen = timesSeen(window, WM_USER + 9);
        SendMessageA(window, WM_USER + 9, 0, 0);
        EXPECT_EQ(timesSeen(window, WM_USER + 9), seen + 1) << "a message did not reach the window";
    }
    // Injects the faults; says which they are, for the trace.
    std::string inject(const Faults &faults) {
        std::string which;
        for (const auto &[function, nth] : faults) {
            const std::string name = function == "SetWindowLong" ? setWindowLong() : function;
            platform::fail(name, {nth, 1, ERROR_ACCESS_DENIED});
            which += name + " failing at call " + std::to_string(nth) + "; ";
        }
        return which;
    }
    // The hook's part of the chain, seen as it passes a message on.
    void traceTheHook() {
        platform::overrides().CallWindowProcA = [](WNDPROC p, HWND w, UINT m, WPARAM wp,
                                                   LPARAM lp) {
            seenBy("hook", m);
            return platform::real().CallWindowProcA(p, w, m, wp, lp);
        };
        platform::overrides().CallWindowProcW = [](WNDPROC p, HWND w, UINT m, WPARAM wp,
                                                   LPARAM lp) {
            seenBy("hook", m);
            return platform::real().CallWindowProcW(p, w, m, wp, lp);
        };
    }
    // The import through which the DLL changes this window's procedure.
    const char *setWindowLong() const { return unicode() ? "SetWindowLongW" : "SetWindowLongA"; }
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
    EXPECT_EQ(platform::liveBlocks(), 1u);

    call(attach, {idOf(window)});
    EXPECT_EQ(currentProcOf(window), hookProc);
    EXPECT_EQ(GetPropA(window, hookProperty), record);
    EXPECT_EQ(platform::liveBlocks(), 1u);

    EXPECT_EQ(IsWindowUnicode(window) != FALSE, unicode()) << "hooked in the wrong character set";

    call(detach, {idOf(window)});
    expectUntouched(window, ownProc);
    EXPECT_EQ(platform::liveBlocks(), 0u);

    addSubclass(window, false, unicode());  // a subclass before the hook is what detach puts back
    WNDPROC beforeAttach = currentProcOf(window);
    call(attach, {idOf(window)});
    call(detach, {idOf(window)});
    expectUntouched(window, beforeAttach);
}

// A subclass that the host puts in front of the hook keeps its place: detach
// waits until the hook is in front again, and then unhooks the window whole.
TEST_P(WindowHook, DetachBehindALaterSubclassWaitsUntilTheHookIsInFrontAgain) {
    const UINT query = RegisterWindowMessageA("QueryCancelAutoPlay");
    for (bool comctl : {true, false}) {
        SCOPED_TRACE(comctl ? "SetWindowSubclass" : "plain subclass");
        HWND w = createTestWindow(GetParam());
        call(attach, {idOf(w)});
        call("zibWin32SetAutoplayMode", {idOf(w), "deny"});
        addSubclass(w, comctl, unicode());
        WNDPROC front = currentProcOf(w);
        call(detach, {idOf(w)});
        call(attach, {idOf(w)});  // hooked already: not a second time behind the subclass
        EXPECT_EQ(currentProcOf(w), front);
        EXPECT_EQ(platform::liveBlocks(), 1u);
        EXPECT_EQ(SendMessageA(w, query, 0, 0), 1);
        removeSubclass(w, comctl, unicode());
        call(detach, {idOf(w)});
        expectUntouched(w, ownProc);
        DestroyWindow(w);
    }
}

// Who sees a message, in which order, each once: the host's later subclass,
// the hook and the window's own procedure, as the chain stands after steps.
TEST_P(WindowHook, TheChainSeesEachMessageOnceInOrder) {
    const UINT query = RegisterWindowMessageA("QueryCancelAutoPlay");
    const Chain::value_type subclass{"subclass", probe}, hook{"hook", probe}, own{"window", probe},
        subclassGoes{"subclass", WM_NCDESTROY}, hookGoes{"hook", WM_NCDESTROY},
        ownGoes{"window", WM_NCDESTROY};
    enum Step { Attach, Detach, Comctl32Subclass, PlainSubclass, RemoveSubclass, Deny };
    const Chain throughBoth = {subclass, hook, own};
    const struct {
        const char *what;
        std::vector<Step> steps;
        UINT message;  // sent to the window; WM_NCDESTROY: the window is destroyed
        Chain expected;
    } cases[] = {
        {"hooked", {Attach}, probe, {hook, own}},
        {"comctl32 subclass in front", {Attach, Comctl32Subclass}, probe, throughBoth},
        {"plain subclass in front", {Attach, PlainSubclass}, probe, throughBoth},
        {"detached behind comctl32's", {Attach, Comctl32Subclass, Detach}, probe, throughBoth},
        {"detached behind a plain one", {Attach, PlainSubclass, Detach}, probe, throughBoth},
        {"the subclass gone",
         {Attach, Comctl32Subclass, Detach, RemoveSubclass},
         probe,
         {hook, own}},
        {"detached once it has gone",
         {Attach, PlainSubclass, Detach, RemoveSubclass, Detach},
         probe,
         {own}},
        {"destroyed", {Attach}, WM_NCDESTROY, {hookGoes, ownGoes}},
        {"destroyed behind comctl32's",
         {Attach, Comctl32Subclass},
         WM_NCDESTROY,
         {subclassGoes, hookGoes, ownGoes}},
        {"destroyed behind a plain one",
         {Attach, PlainSubclass},
         WM_NCDESTROY,
         {subclassGoes, hookGoes, ownGoes}},
        {"AutoPlay query passed on", {Attach}, query, {{"hook", query}, {"window", query}}},
        {"message 0, while no query is known", {Attach}, WM_NULL, {{"hook", 0}, {"window", 0}}},
        {"AutoPlay query answered", {Attach, Deny}, query, {}},
        {"answered behind a subclass", {Attach, Deny, PlainSubclass}, query, {{"subclass", query}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        reload();  // a module that never registered the AutoPlay query
        traceTheHook();
        HWND w = createTestWindow(GetParam());
        bool comctl = false;
        for (Step step : c.steps) {
            if (step == Attach || step == Detach) call(step == Attach ? attach : detach, {idOf(w)});
            if (step == Comctl32Subclass || step == PlainSubclass)
                addSubclass(w, comctl = step == Comctl32Subclass, unicode());
            if (step == RemoveSubclass) removeSubclass(w, comctl, unicode());
            if (step == Deny) call("zibWin32SetAutoplayMode", {idOf(w), "deny"});
        }
        traceChain({c.message});
        if (c.message == WM_NCDESTROY)
            DestroyWindow(w);
        else
            SendMessageA(w, c.message, 0, 0);
        EXPECT_EQ(takeChain(), c.expected);
        traceChain({});
    }
}

// Text that the ANSI code page cannot hold reaches a Unicode window's own
// procedure intact, and an ANSI window gets exactly what it got unhooked.
TEST_P(WindowHook, TextReachesTheWindowsOwnProcedureAsItDoesUnhooked) {
    // For a sender of UTF-16 text, characters that the code page (cp1252
    // here) lacks; for a sender of ANSI text, characters of the code page.
    const std::wstring wideText = L"\x65E5\x672C\x8A9E \x03A9 \x0416";
    const std::wstring ansiText = L"Gr\xFC\xDF"
                                  L"e \x20AC \xBD";
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
        narrow.resize(
            WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &narrow[0], 64, nullptr, nullptr) - 1);
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
        ASSERT_TRUE(isHooked(w));
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
    reactTo(window, WM_USER + 5,
            [](HWND, UINT, WPARAM w, LPARAM l) { return LRESULT(w * 1000 + l); });
    reactTo(window, query, [](HWND, UINT, WPARAM, LPARAM) { return LRESULT(77); });
    call(attach, {idOf(window)});
    EXPECT_EQ(SendMessageA(window, WM_USER + 5, 12, 34), 12034);
    EXPECT_EQ(SendMessageA(window, query, 0, 0), 77);
    EXPECT_EQ(SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("retitled")), TRUE);
    char title[32];
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "retitled");
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
    ASSERT_TRUE(isHooked(window));
    std::string id = idOf(window);
    DestroyWindow(window);
    EXPECT_TRUE(logOf(window).destroyed);
    EXPECT_EQ(propertyInside, nullptr) << "still hooked inside its own WM_NCDESTROY";
    EXPECT_EQ(procInside, ownProc);
    EXPECT_EQ(platform::liveBlocks(), 0u);
    call(detach, {id});
    EXPECT_EQ(platform::liveBlocks(), 0u);
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
        EXPECT_TRUE(isHooked(window));
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
        platform::forgetCalls();
        call(attach, c.args);
        EXPECT_EQ(isHooked(window), c.hooks);
        if (!c.hooks) {
            expectUntouched(window, ownProc);
            EXPECT_EQ(platform::callCount("allocation"), 0u) << "a record was made for no window";
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
    EXPECT_EQ(platform::callCount("allocation"), 0u);
    stopForeignWindow(foreign);
}

TEST_P(WindowHook, FailedAttachLeavesTheWindowSound) {
    const struct {
        Faults faults;
        unsigned procedureChanges;  // SetWindowLong calls the attach makes
        After after;
    } cases[] = {
        {{{"calloc", 1}}, 0, After::Untouched},
        {{{"SetWindowLong", 1}}, 1, After::Untouched},
        {{{"SetPropA", 1}}, 0, After::Untouched},
        {{{"GetModuleHandleExW", 1}}, 2, After::Untouched},
        {{{"SetWindowLong", 1}, {"RemovePropA", 1}}, 1, After::RecordKept},
        {{{"GetModuleHandleExW", 1}, {"RemovePropA", 1}}, 2, After::RecordKept},
        {{{"GetModuleHandleExW", 1}, {"SetWindowLong", 2}}, 2, After::Hooked},
    };
    for (const auto &c : cases) {
        reload();  // a module that was never pinned
        window = createTestWindow(GetParam());
        SCOPED_TRACE(inject(c.faults));
        call(attach, {idOf(window)});
        EXPECT_EQ(platform::callCount(setWindowLong()), c.procedureChanges);
        expectAfter(c.after);
        if (c.after == After::Untouched) expectUntouched(window, ownProc);
        // Nothing is left half done: the next attach and detach work.
        call(attach, {idOf(window)});
        call(detach, {idOf(window)});
        EXPECT_EQ(currentProcOf(window), ownProc);
        if (c.after == After::RecordKept)
            platform::forgetBlocks();  // stays with the window for good
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
    EXPECT_EQ(platform::liveBlocks(), 0u);
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
    EXPECT_EQ(platform::liveBlocks(), 0u);
    // Hooked again from inside, then destroyed from inside.
    reactTo(window, WM_USER + 3, [this](HWND w, UINT, WPARAM, LPARAM) {
        call(attach, {idOf(w)});
        DestroyWindow(w);
        return LRESULT(9);
    });
    EXPECT_EQ(SendMessageA(window, WM_USER + 3, 0, 0), 9);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(platform::liveBlocks(), 0u);
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
    EXPECT_FALSE(isHooked(window));
    EXPECT_EQ(platform::liveBlocks(), 1u) << "only the orphaned record is alive";
    SendMessageA(window, WM_USER + 7, 0, 0);  // returns, instead of recursing without end
    // Without its record the hook leaves messages to the default procedure of
    // the window's own character set: the title keeps every character.
    const std::wstring title = unicode() ? L"\x65E5\x672C" : widened("Gr\xFC\xDF");
    (unicode() ? SendMessageW : SendMessageA)(window, WM_SETTEXT, 0,
                                              unicode() ? reinterpret_cast<LPARAM>(title.c_str())
                                                        : reinterpret_cast<LPARAM>("Gr\xFC\xDF"));
    wchar_t stored[8] = L"";
    InternalGetWindowText(window, stored, 8);  // the title itself, not asked of the window
    EXPECT_EQ(stored, title);
    SetPropA(window, hookProperty, record);  // given back, so that destruction releases it
}

// A detach that cannot be done whole leaves the window hooked with its
// record, or, should even the hook not go back, running its own procedure
// with the record kept under its property.
TEST_P(WindowHook, DetachThatCannotBeDoneWholeLeavesTheWindowSound) {
    const UINT query = RegisterWindowMessageA("QueryCancelAutoPlay");
    const struct {
        Faults faults;
        After after;
    } cases[] = {
        {{{"RemovePropA", 1}}, After::Hooked},
        {{{"SetWindowLong", 1}}, After::Hooked},
        {{{"SetWindowLong", 1}, {"SetPropA", 1}}, After::Hooked},
        {{{"RemovePropA", 1}, {"SetWindowLong", 2}}, After::RecordKept},
    };
    for (const auto &c : cases) {
        call(attach, {idOf(window)});
        SCOPED_TRACE(inject(c.faults));
        call(detach, {idOf(window)});
        expectAfter(c.after);
        if (c.after == After::RecordKept) continue;  // the last case
        call("zibWin32SetAutoplayMode", {idOf(window), "deny"});
        EXPECT_EQ(SendMessageA(window, query, 0, 0), 1);
        platform::reset();
        call(detach, {idOf(window)});
        expectUntouched(window, ownProc);
        EXPECT_EQ(platform::liveBlocks(), 0u);
    }
    platform::forgetBlocks();
}

// A window being destroyed gives its record up even when unhooking it fails,
// but for a record its property still names: that one stays, so that the
// window's own procedure, detaching it during WM_NCDESTROY, finds it alive.
TEST_P(WindowHook, DestroyedWindowReleasesItsRecordNeverTwice) {
    for (const char *function : {setWindowLong(), "RemovePropA"}) {
        SCOPED_TRACE(function);
        HWND doomed = createTestWindow(GetParam());
        reactTo(doomed, WM_NCDESTROY, [&](HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
            call(detach, {idOf(w)});
            return defaultAnswer(w, message, wParam, lParam);
        });
        call(attach, {idOf(doomed)});
        platform::reset();
        platform::fail(function, {1, 1, ERROR_INVALID_WINDOW_HANDLE});
        DestroyWindow(doomed);
        EXPECT_EQ(platform::callCount(function), 1u);
        EXPECT_EQ(platform::liveBlocks(), function == setWindowLong() ? 0u : 1u);
        EXPECT_EQ(platform::strayFrees(), 0u);
    }
    platform::forgetBlocks();
}

#ifdef _WIN64
// Where the function holding code begins, by its module's unwind data; 0 without any.
DWORD64 functionHolding(const void *code) {
    DWORD64 base = 0;
    auto *entry = RtlLookupFunctionEntry(reinterpret_cast<DWORD64>(code), &base, nullptr);
    return entry ? base + entry->BeginAddress : 0;
}

// Its result is used, so that the call keeps a frame of its own.
__attribute__((noinline)) LRESULT sendProbe(HWND w) { return SendMessageA(w, probe, 0, 0) + 1; }

// Debuggers, crash dumps and exception dispatch walk x64 stacks through the
// hook by its unwind data.
TEST_P(WindowHook, StackWalksFromInsideTheWindowPassThroughTheHook) {
    call(attach, {idOf(window)});
    for (const XtableEntry *row = table; row->name[0] != '\0'; ++row)
        EXPECT_NE(functionHolding(reinterpret_cast<void *>(row->handler)), 0u) << row->name;
#ifdef __aarch64__
    std::cout
        << "arm64: the hook procedures branch to their body with no frame of their own, "
           "and arm64 Wine builds its own DLLs as ELF, so no walk passes through them here: "
           "the protections check finds every call of the DLL in a function with unwind data\n";
    return;
#endif
    EXPECT_NE(functionHolding(reinterpret_cast<void *>(currentProcOf(window))), 0u) << "the hook";
    std::vector<void *> frames(64);
    reactTo(window, probe, [&](HWND, UINT, WPARAM, LPARAM) {
        frames.resize(RtlCaptureStackBackTrace(0, 64, frames.data(), nullptr));
        return LRESULT(0);
    });
    sendProbe(window);
    const DWORD inModule =
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    size_t frame = 0;
    for (HMODULE in; frame < frames.size() &&
                     functionHolding(frames[frame]) != reinterpret_cast<DWORD64>(&sendProbe);
         ++frame)
        EXPECT_TRUE(GetModuleHandleExW(inModule, static_cast<LPCWSTR>(frames[frame]), &in))
            << frame;
    EXPECT_LT(frame, frames.size()) << "the walk never reached the sender";
}
#endif

INSTANTIATE_TEST_SUITE_P(WindowHook, WindowHook,
                         ::testing::Values(CharacterSet::Ansi, CharacterSet::Unicode),
                         characterSetName);

}  // namespace
