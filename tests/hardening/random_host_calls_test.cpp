// A seeded stream of random host calls against all five entries, interleaved
// with windows being created and destroyed, checked against a model of what
// every hooked window must answer. ZIBWIN32_SEED picks another stream,
// ZIBWIN32_RANDOM_CALLS another length.
#include <algorithm>
#include <map>
#include <random>

#include "dll_test.h"

namespace {

const char *const entries[] = {"zibWin32EnumerateProcesses", "zibWin32EnumerateVolumes",
                               "zibWin32Attach", "zibWin32Detach", "zibWin32SetAutoplayMode"};
const char *const kinds[] = {"removable", "fixed", "remote", "cdrom", "ramdisk", "unknown"};
const LRESULT ownAnswer = 42;  // what a window's own procedure answers the query

struct ModelWindow {
    HWND window;
    WNDPROC ownProc;
    LONG_PTR serial;  // kept in the window's user data
    bool unicode;     // every other window is a Unicode window
    bool hooked = false;
    LRESULT answer = 0;
};

class RandomHostCalls : public DllTest {
   protected:
    void SetUp() override {
        DllTest::SetUp();
        query = RegisterWindowMessageA("QueryCancelAutoPlay");
        for (char fill : {'7', 'a', ' '}) longTexts.emplace_back(64 * 1024, fill);
        std::string bytes(64 * 1024, ' ');
        for (char &byte : bytes) byte = static_cast<char>(1 + pick(255));
        longTexts.push_back(bytes);
        for (int i = 0; i < 2; ++i) foreign.push_back(startForeignWindow());
        for (ForeignWindow &f : foreign) foreignProcs.push_back(currentProcOf(f.window));
    }
    void TearDown() override {
        for (size_t i = 0; i < foreign.size(); ++i) {
            EXPECT_EQ(currentProcOf(foreign[i].window), foreignProcs[i]);
            EXPECT_FALSE(isHooked(foreign[i].window));
            stopForeignWindow(foreign[i]);
        }
        DllTest::TearDown();
    }

    unsigned pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng); }
    bool chance(unsigned percent) { return pick(100) < percent; }

    std::string randomCase(std::string word) {
        for (char &c : word)
            if (chance(50) && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return word;
    }

    std::string digits(unsigned count) {
        std::string text;
        for (unsigned i = 0; i < count; ++i) text += static_cast<char>('0' + pick(10));
        return text;
    }

    std::string windowIdText(HWND window) {
        int64_t id = static_cast<int32_t>(reinterpret_cast<intptr_t>(window));
        switch (pick(6)) {
            case 0: id += (int64_t{1} << 32) * (1 + pick(1000)); break;  // same low 32 bits
            case 1: id -= (int64_t{1} << 32) * (1 + pick(1000)); break;
            default: break;
        }
        std::string text = std::to_string(id);
        if (chance(20)) text = std::string(1 + pick(3), " \t\n"[pick(3)]) + text;
        if (chance(20)) text = (id >= 0 ? "+" : "") + text;
        if (chance(20)) text += randomCase("xyz") + digits(pick(3));
        return text;
    }

    std::string modeWord() {
        std::string word = randomCase(chance(50) ? "allow" : "deny");
        switch (pick(8)) {
            case 0: return " " + word;
            case 1: return word + " ";
            case 2: return word + "ed";
            case 3: return word.substr(0, word.size() - 1);
            default: return word;
        }
    }

    std::string randomText() {
        switch (pick(13)) {
            case 0: return "";
            case 1: {
                std::string blanks;
                for (unsigned i = 0, n = 1 + pick(5); i < n; ++i) blanks += " \t\n\r\v\f"[pick(6)];
                return blanks;
            }
            case 2: return digits(1 + pick(12));
            case 3: return digits(20 + pick(20));
            case 4:
                return std::string(chance(50) ? "+" : "-") +
                       (chance(50) ? digits(1 + pick(3)) : "");
            case 5: return modeWord();
            case 6: {
                std::string filter;
                for (unsigned i = 0, n = pick(4); i < n; ++i)
                    filter += std::string(kinds[pick(6)]) + std::string(pick(2), ",  "[pick(3)]);
                return chance(10) ? randomCase(filter) : filter;
            }
            case 7: return longTexts[pick(static_cast<unsigned>(longTexts.size()))];
            case 8: {
                std::string bytes;
                for (unsigned i = 0, n = 1 + pick(16); i < n; ++i)
                    bytes += static_cast<char>(1 + pick(255));
                return bytes;
            }
            case 9:
                return deadIds.empty() ? "0" : deadIds[pick(static_cast<unsigned>(deadIds.size()))];
            case 10: return windowIdText(foreign[pick(2)].window);
            case 11: return "0";
            default: return windowOfThisThread();
        }
    }

    // The model's own reading of a window id: the number as a 64-bit value,
    // its low 32 bits taken as the handle; only this thread's live windows
    // count. The platform knows a window by a shortened handle too (its low
    // 16 bits), so the window is told by what it carries, not by its handle.
    ModelWindow *target(const std::string &text) {
        long long value;
        if (std::sscanf(text.c_str(), "%lld", &value) != 1) return nullptr;
        auto id =
            static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long long>(value)));
        HWND window = reinterpret_cast<HWND>(static_cast<intptr_t>(id));
        if (id == 0 || !IsWindow(window)) return nullptr;
        LONG_PTR serial = GetWindowLongPtrA(window, GWLP_USERDATA);
        for (ModelWindow &w : live)
            if (w.serial == serial) return &w;
        return nullptr;
    }

    static int modeAnswer(const std::string &word) {
        std::string folded = word;
        for (char &c : folded)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return folded == "allow" ? 0 : folded == "deny" ? 1 : -1;
    }

    void createWindow() {
        bool unicode = windowsCreated % 2 == 1;
        HWND window = createTestWindow(unicode ? CharacterSet::Unicode : CharacterSet::Ansi);
        ASSERT_NE(window, nullptr);
        reactTo(window, query, [](HWND, UINT, WPARAM, LPARAM) { return ownAnswer; });
        ++windowsCreated;
        SetWindowLongPtrA(window, GWLP_USERDATA, static_cast<LONG_PTR>(windowsCreated));
        live.push_back(
            {window, currentProcOf(window), static_cast<LONG_PTR>(windowsCreated), unicode});
    }

    void destroyWindow() {
        size_t i = pick(static_cast<unsigned>(live.size()));
        deadIds.push_back(idOf(live[i].window));
        DestroyWindow(live[i].window);
        live.erase(live.begin() + static_cast<long>(i));
    }

    void expectAsModelled(const ModelWindow &w) {
        EXPECT_EQ(isHooked(w.window), w.hooked);
        EXPECT_EQ(currentProcOf(w.window) != w.ownProc, w.hooked);
        EXPECT_EQ(IsWindowUnicode(w.window) != FALSE, w.unicode);
        int seen = timesSeen(w.window, query);
        LRESULT answer = SendMessageA(w.window, query, 0, 0);
        bool hookAnswers = w.hooked && registered;
        EXPECT_EQ(answer, hookAnswers ? w.answer : ownAnswer);
        EXPECT_EQ(timesSeen(w.window, query) > seen, !hookAnswers);
    }

    void runCommand(unsigned which) {
        std::vector<std::string> args;
        unsigned count = pick(5);
        for (unsigned i = 0; i < count; ++i)
            args.push_back(i == 0 && chance(50)   ? windowOfThisThread()
                           : i == 1 && chance(70) ? modeWord()
                                                  : randomText());
        ModelWindow *w = count >= 1 ? target(args[0]) : nullptr;
        std::string trace = entries[which];
        for (const std::string &arg : args) trace += " [" + arg.substr(0, 40) + "]";
        SCOPED_TRACE(trace);
        call(entries[which], args);
        ++calls[which];
        if (w == nullptr) return;
        if (which == 2 && count == 1 && !w->hooked) {
            w->hooked = true;
            w->answer = 0;
        } else if (which == 3 && count == 1) {
            w->hooked = false;
        } else if (which == 4 && count == 2 && w->hooked && modeAnswer(args[1]) >= 0) {
            w->answer = modeAnswer(args[1]);
            registered = true;
        }
        EXPECT_EQ(isHooked(w->window), w->hooked);
    }
    std::string windowOfThisThread() {
        if (live.empty()) return randomText();
        return windowIdText(live[pick(static_cast<unsigned>(live.size()))].window);
    }

    void runQuery(unsigned which) {
        std::vector<std::string> args;
        for (unsigned i = 0, n = pick(5); i < n; ++i) args.push_back(randomText());
        Outcome outcome = call(entries[which], args);
        ++calls[which];
        ASSERT_FALSE(outcome.isNull);
        ASSERT_TRUE(outcome.text.empty() || outcome.text.back() == '\n');
        if (which == 1 && !args.empty() && !args[0].empty()) {
            EXPECT_EQ(linesOfKinds(outcome.text, args[0]), outcome.text)
                << "kinds not in the filter";
        }
    }

    std::mt19937 rng;
    UINT query = 0;
    bool registered = false;
    std::vector<ModelWindow> live;
    std::vector<std::string> deadIds;
    std::vector<ForeignWindow> foreign;
    std::vector<WNDPROC> foreignProcs;
    std::vector<std::string> longTexts;
    unsigned long long calls[5] = {};
    unsigned windowsCreated = 0;
};

TEST_F(RandomHostCalls, NeverCrashLeakOrStrayFromTheModel) {
    const unsigned long long seed = setting("ZIBWIN32_SEED", 20261208);
    const unsigned long long total = setting("ZIBWIN32_RANDOM_CALLS", 200000);
    rng.seed(static_cast<std::mt19937::result_type>(seed));
    report("random host calls with seed %llu (ZIBWIN32_SEED to change)\n", seed);
    unsigned long long made = 0;
    while (made < total && !HasFailure()) {
        unsigned op = pick(1000);
        if (op < 15 && live.size() < 48) {
            createWindow();
        } else if (op < 30 && !live.empty()) {
            destroyWindow();
        } else if (op < 45 && !live.empty()) {
            expectAsModelled(live[pick(static_cast<unsigned>(live.size()))]);
        } else if (op < 50) {
            runQuery(0);
            ++made;
        } else if (op < 55) {
            runQuery(1);
            ++made;
        } else {
            runCommand(2 + pick(3));
            ++made;
        }
    }
    for (const ModelWindow &w : live) expectAsModelled(w);
    for (const ModelWindow &w : live) DestroyWindow(w.window);
    live.clear();
    EXPECT_EQ(platform::liveBlocks(), 0u);
    report("random host calls: %llu calls (%llu process lists, %llu volume lists, "
           "%llu attach, %llu detach, %llu mode), %u windows, %zu blocks leaked\n",
           made, calls[0], calls[1], calls[2], calls[3], calls[4], windowsCreated,
           platform::liveBlocks());
    EXPECT_GE(made, total);
}

}  // namespace
