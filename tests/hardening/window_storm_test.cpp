// Thousands of windows, ANSI and Unicode, hooked, unhooked, hooked again,
// given modes and destroyed in random order, from outside and from inside
// their own message handling and nested SendMessage chains.
// ZIBWIN32_STORM_WINDOWS sets how many.
#include <map>
#include <random>

#include "dll_test.h"

namespace {

const UINT chainMessage = WM_USER + 21;  // wParam: how many windows further to pass it
const UINT destroySelf = WM_USER + 20;
const UINT commandInside = WM_USER + 22;  // wParam: which command to run from inside

class WindowStorm : public DllTest {
   protected:
    unsigned pick(size_t n) {
        return std::uniform_int_distribution<unsigned>(0, static_cast<unsigned>(n) - 1)(rng);
    }

    HWND randomLive() { return alive[pick(alive.size())]; }

    void create() {
        HWND window = createTestWindow(created % 2 ? CharacterSet::Unicode : CharacterSet::Ansi);
        ASSERT_NE(window, nullptr);
        ownProcs[window] = currentProcOf(window);
        alive.push_back(window);
        ++created;
        reactTo(window, destroySelf, [](HWND w, UINT, WPARAM, LPARAM) {
            DestroyWindow(w);
            return LRESULT(1);
        });
        // Passes the message on down a chain of windows, acting on itself on the way.
        reactTo(window, chainMessage, [this](HWND w, UINT, WPARAM depth, LPARAM) {
            LRESULT below = 0;
            if (depth > 0 && !alive.empty())
                below = SendMessageA(randomLive(), chainMessage, depth - 1, 0);
            if (IsWindow(w)) SendMessageA(w, commandInside, pick(4), 0);
            return below + 1;
        });
        reactTo(window, commandInside, [this](HWND w, UINT, WPARAM which, LPARAM) {
            const char *entries[] = {"zibWin32Attach", "zibWin32Detach", "zibWin32SetAutoplayMode"};
            if (which == 3) {
                DestroyWindow(w);
            } else if (which == 2) {
                call(entries[which], {idOf(w), pick(2) ? "deny" : "allow"});
            } else {
                call(entries[which], {idOf(w)});
            }
            return LRESULT(0);
        });
    }

    // Forgets the windows that were destroyed, whoever destroyed them.
    void forgetDestroyed() {
        for (size_t i = alive.size(); i-- > 0;)
            if (!IsWindow(alive[i])) alive.erase(alive.begin() + static_cast<long>(i));
    }

    void expectConsistent(HWND window) {
        bool hasProperty = isHooked(window);
        EXPECT_EQ(hasProperty, currentProcOf(window) != ownProcs[window]);
    }

    std::mt19937 rng{20261208};
    std::vector<HWND> alive;
    std::map<HWND, WNDPROC> ownProcs;
    unsigned created = 0;
};

TEST_F(WindowStorm, EveryRecordIsReleasedAndEverySurvivorHasItsOwnProcedure) {
    const UINT query = RegisterWindowMessageA("QueryCancelAutoPlay");
    const auto windows = static_cast<unsigned>(setting("ZIBWIN32_STORM_WINDOWS", 10000));
    unsigned chains = 0, destroyedInside = 0;
    while (created < windows && !HasFailure()) {
        if (alive.size() < 8 || (alive.size() < 64 && pick(4) == 0)) {
            create();
            continue;
        }
        HWND window = randomLive();
        std::string id = idOf(window);
        switch (pick(10)) {
            case 0:
            case 1: call("zibWin32Attach", {id}); break;
            case 2: call("zibWin32Detach", {id}); break;
            case 3: call("zibWin32SetAutoplayMode", {id, pick(2) ? "DENY" : "allow"}); break;
            case 4: DestroyWindow(window); break;
            case 5:
                SendMessageA(window, destroySelf, 0, 0);
                ++destroyedInside;
                break;
            case 6:
            case 7:
                SendMessageA(window, chainMessage, pick(6), 0);
                ++chains;
                break;
            case 8: SendMessageA(window, query, 0, 0); break;
            default:
                call("zibWin32Attach", {id});
                call("zibWin32Detach", {id});
                break;
        }
        forgetDestroyed();
        for (HWND w : alive) expectConsistent(w);
    }
    for (HWND window : alive) call("zibWin32Detach", {idOf(window)});
    for (HWND window : alive) {
        EXPECT_EQ(currentProcOf(window), ownProcs[window]);
        EXPECT_FALSE(isHooked(window));
    }
    EXPECT_EQ(platform::liveBlocks(), 0u);
    report("window storm: %u windows cycled (%u destroyed inside their own "
           "messages, %u nested chains), %zu survivors back on their own procedure, "
           "%zu records left\n",
           created, destroyedInside, chains, alive.size(), platform::liveBlocks());
}

}  // namespace
