// "zibWin32SetAutoplayMode": hooked windows answer the shell's AutoPlay query,
// ANSI windows and Unicode windows alike.
#include "dll_test.h"

namespace {

const char setMode[] = "zibWin32SetAutoplayMode";

class Autoplay : public DllTest, public ::testing::WithParamInterface<CharacterSet> {
   protected:
    void SetUp() override {
        DllTest::SetUp();
        query = RegisterWindowMessageA("QueryCancelAutoPlay");
        window = hookedWindow();
    }
    HWND hookedWindow() {
        HWND w = createTestWindow(GetParam());
        // The window's own answer, should the query ever reach it.
        reactTo(w, query, [](HWND, UINT, WPARAM, LPARAM) { return LRESULT(42); });
        call("zibWin32Attach", {idOf(w)});
        return w;
    }
    // What the window answers, and whether its own procedure had to.
    LRESULT ask(HWND w, bool *reachedWindow = nullptr) {
        int seen = timesSeen(w, query);
        LRESULT answer = SendMessageA(w, query, 0, 0);
        if (reachedWindow) *reachedWindow = timesSeen(w, query) > seen;
        return answer;
    }
    UINT query = 0;
    HWND window = nullptr;
};

TEST_P(Autoplay, DenyCancelsAndAllowLetsAutoplayGoAheadWithoutTheWindowSeeingTheQuery) {
    bool reached = true;
    call(setMode, {idOf(window), "deny"});
    EXPECT_EQ(ask(window, &reached), 1);
    EXPECT_FALSE(reached);
    call(setMode, {idOf(window), "allow"});
    EXPECT_EQ(ask(window, &reached), 0);
    EXPECT_FALSE(reached);
    EXPECT_EQ(timesSeen(window, query), 0);
}

TEST_P(Autoplay, ModeWordsAreWholeWordsInAnyLetterCase) {
    const struct {
        const char *word;
        int answer;  // -1: not a mode, the answer in force stays
    } cases[] = {
        {"deny", 1},     {"DENY", 1},   {"Deny", 1},  {"dEnY", 1},      {"allow", 0},
        {"ALLOW", 0},    {"Allow", 0},  {"aLLoW", 0}, {" deny", -1},    {"deny ", -1},
        {"allowed", -1}, {"den", -1},   {"", -1},     {"yes", -1},      {"\tallow", -1},
        {"allow\n", -1}, {"denyy", -1}, {"dény", -1}, {"DENY\xff", -1}, {"0", -1},
        {"1", -1},
    };
    for (int inForce : {0, 1}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string("\"") + c.word + "\" over " + std::to_string(inForce));
            call(setMode, {idOf(window), inForce ? "deny" : "allow"});
            call(setMode, {idOf(window), c.word});
            bool reached = true;
            EXPECT_EQ(ask(window, &reached), c.answer < 0 ? inForce : c.answer);
            EXPECT_FALSE(reached);
        }
    }
}

TEST_P(Autoplay, NothingIsAnsweredOrRegisteredUntilAModeIsSetOnAHookedWindow) {
    HWND plain = createTestWindow(GetParam());
    reactTo(plain, query, [](HWND, UINT, WPARAM, LPARAM) { return LRESULT(42); });
    call(setMode, {idOf(plain), "deny"});
    call(setMode, {idOf(window), "maybe"});
    call(setMode, {"0", "deny"});
    EXPECT_EQ(platform::callCount("RegisterWindowMessageA"), 0u);
    bool reached = false;
    EXPECT_EQ(ask(window, &reached), 42);
    EXPECT_TRUE(reached) << "the hook answered before any mode was set";
    EXPECT_EQ(ask(plain, &reached), 42);
    EXPECT_TRUE(reached);
    EXPECT_FALSE(isHooked(plain));
}

TEST_P(Autoplay, EachHookedWindowAnswersForItselfAndALaterOneStartsAtAllow) {
    call(setMode, {idOf(window), "deny"});
    HWND later = hookedWindow();
    bool reached = true;
    EXPECT_EQ(ask(later, &reached), 0);
    EXPECT_FALSE(reached);
    call(setMode, {idOf(later), "DENY"});
    call(setMode, {idOf(window), "allow"});
    EXPECT_EQ(ask(later), 1);
    EXPECT_EQ(ask(window), 0);
}

TEST_P(Autoplay, DetachForgetsTheAnswerAndAttachStartsAgainAtAllow) {
    call(setMode, {idOf(window), "deny"});
    call("zibWin32Detach", {idOf(window)});
    bool reached = false;
    EXPECT_EQ(ask(window, &reached), 42);
    EXPECT_TRUE(reached);
    call(setMode, {idOf(window), "deny"});  // not hooked: nothing to set
    call("zibWin32Attach", {idOf(window)});
    EXPECT_EQ(ask(window, &reached), 0);
    EXPECT_FALSE(reached);
}

TEST_P(Autoplay, ADestroyedWindowsAnswerGoesWithItAndTheOthersGoOn) {
    HWND other = hookedWindow();
    call(setMode, {idOf(window), "deny"});
    call(setMode, {idOf(other), "deny"});
    DestroyWindow(window);
    EXPECT_EQ(platform::liveBlocks(), 1u);
    EXPECT_EQ(ask(other), 1);
    call(setMode, {idOf(window), "allow"});  // names no window now
    EXPECT_EQ(ask(other), 1);
}

TEST_P(Autoplay, CommandsThatCannotActChangeNothing) {
    call(setMode, {idOf(window), "deny"});
    const std::vector<std::vector<std::string>> cases = {
        {},
        {idOf(window)},
        {idOf(window), "allow", "allow"},
        {"", "allow"},
        {"window", "allow"},
        {"0", "allow"},
        {"-1", "allow"},
        {"allow", idOf(window)},
    };
    for (const auto &args : cases) {
        call(setMode, args);
        EXPECT_EQ(ask(window), 1);
    }
    EXPECT_EQ(platform::callCount("RegisterWindowMessageA"), 1u);
}

TEST_P(Autoplay, EverySuccessfulSetRegistersTheQueryAndAFailedRegistrationSilencesTheHooks) {
    HWND other = hookedWindow();
    call(setMode, {idOf(other), "deny"});
    platform::fail("RegisterWindowMessageA", {1, 1, ERROR_NOT_ENOUGH_MEMORY});
    call(setMode, {idOf(window), "deny"});
    EXPECT_EQ(platform::callCount("RegisterWindowMessageA"), 2u);
    bool reached = false;
    EXPECT_EQ(ask(other, &reached), 42) << "the query is not known, so nobody answers it";
    EXPECT_TRUE(reached);
    SendMessageA(other, WM_NULL, 0, 0);
    EXPECT_EQ(timesSeen(other, WM_NULL), 1) << "message 0 taken for the unknown query";
    // The answer was kept although the query could not be registered: once
    // another window's mode registers it, the window answers as it was told.
    call(setMode, {idOf(other), "deny"});
    EXPECT_EQ(ask(window, &reached), 1);
    EXPECT_FALSE(reached);
    call(setMode, {idOf(window), "allow"});
    EXPECT_EQ(ask(other), 1);
    EXPECT_EQ(ask(window), 0);
}

TEST_P(Autoplay, TheQueryNameIsRegisteredAsIs) {
    std::vector<std::string> names;
    platform::overrides().RegisterWindowMessageA = [&](LPCSTR name) {
        names.emplace_back(name);
        return platform::real().RegisterWindowMessageA(name);
    };
    call(setMode, {idOf(window), "allow"});
    EXPECT_EQ(names, std::vector<std::string>{"QueryCancelAutoPlay"});
}

INSTANTIATE_TEST_SUITE_P(Autoplay, Autoplay,
                         ::testing::Values(CharacterSet::Ansi, CharacterSet::Unicode),
                         characterSetName);

}  // namespace

namespace {

struct FilterChange {
    HWND window;
    UINT message;
    DWORD action;
    void *details;
};
std::vector<FilterChange> filterChanges;

BOOL WINAPI recordFilterChange(HWND window, UINT message, DWORD action, void *details) {
    filterChanges.push_back({window, message, action, details});
    return TRUE;
}

// Elevated hosts: the shell's query passes the window's message filter.
class AutoplayMessageFilter : public Autoplay {
   protected:
    void SetUp() override {
        Autoplay::SetUp();
        filterChanges.clear();
    }
    // The platform as it looks with the filter call, or without it. The
    // call is found only in the module that exports it, as on Windows.
    void platformHasFilter(bool has) {
        platform::overrides().GetProcAddress = [has](HMODULE module, LPCSTR name) -> FARPROC {
            FARPROC found = platform::real().GetProcAddress(module, name);
            if (found == nullptr || std::string(name) != "ChangeWindowMessageFilterEx")
                return found;
            return has ? reinterpret_cast<FARPROC>(reinterpret_cast<void *>(recordFilterChange))
                       : nullptr;
        };
    }
};

TEST_P(AutoplayMessageFilter, EverySetModeLetsTheQueryThroughTheWindowsFilter) {
    platformHasFilter(true);
    call(setMode, {idOf(window), "deny"});
    call(setMode, {idOf(window), "Allow"});
    ASSERT_EQ(filterChanges.size(), 2u);
    for (const FilterChange &change : filterChanges) {
        EXPECT_EQ(change.window, window);
        EXPECT_EQ(change.message, query);
        EXPECT_EQ(change.action, 1u) << "MSGFLT_ALLOW";
        EXPECT_EQ(change.details, nullptr);
    }
    EXPECT_EQ(ask(window), 0);
}

TEST_P(AutoplayMessageFilter, NothingChangesTheFilterWhenTheModeIsNotSet) {
    platformHasFilter(true);
    HWND plain = createTestWindow(GetParam());
    call(setMode, {idOf(plain), "deny"});
    call(setMode, {idOf(window), "never"});
    call(setMode, {idOf(window)});
    platform::fail("RegisterWindowMessageA", {1, 1, ERROR_NOT_ENOUGH_MEMORY});
    call(setMode, {idOf(window), "deny"});
    EXPECT_TRUE(filterChanges.empty());
}

TEST_P(AutoplayMessageFilter, WorksAsBeforeOnSystemsWithoutTheFilter) {
    const struct {
        const char *what;
        std::function<void()> arrange;
    } systems[] = {
        {"no such call", [this] { platformHasFilter(false); }},
        {"no user32 handle",
         [] { platform::fail("GetModuleHandleA", {1, 1, ERROR_MOD_NOT_FOUND}); }},
        {"look-up fails", [] { platform::fail("GetProcAddress", {1, 1, ERROR_PROC_NOT_FOUND}); }},
    };
    for (const auto &system : systems) {
        SCOPED_TRACE(system.what);
        platform::reset();
        system.arrange();
        call(setMode, {idOf(window), "deny"});
        EXPECT_EQ(ask(window), 1);
        call(setMode, {idOf(window), "allow"});
        EXPECT_EQ(ask(window), 0);
        EXPECT_TRUE(filterChanges.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(AutoplayMessageFilter, AutoplayMessageFilter,
                         ::testing::Values(CharacterSet::Ansi, CharacterSet::Unicode),
                         characterSetName);

}  // namespace
