// The fixture of every test that calls the DLL: it loads the real
// zibwin32.dll afresh for each test (a copy of it under a name of its own, so
// that every test starts with a module that was never loaded before), watches
// its heap and platform calls, and calls its entries as a host does.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host_calls.h"
#include "platform_fakes.h"
#include "test_windows.h"

// What a host sees of one call.
struct Outcome {
    bool isNull = false;  // the handler stored null
    std::string text;     // the text it stored, if any
};

inline bool operator==(const Outcome &a, const Outcome &b) {
    return a.isNull == b.isNull && a.text == b.text;
}
void PrintTo(const Outcome &outcome, std::ostream *out);

Outcome textOf(const std::string &text);
extern const Outcome nullOutcome;

// Prints what a suite counted, printf-style, and adds it to the file that
// ZIBWIN32_REPORT names, which the test command shows.
void report(const char *format, ...);

// The number in the named environment variable, or fallback.
unsigned long long setting(const char *name, unsigned long long fallback);
// The lines of a volume list whose kind occurs in filter.
std::string linesOfKinds(const std::string &list, const std::string &filter);
// Names parameterised tests by character set.
std::string characterSetName(const ::testing::TestParamInfo<CharacterSet> &info);

// One failing run of a sweep.
struct FaultRun {
    std::string function;  // the failing one ("allocation": any of the heap's)
    unsigned call;         // its first failing call
    unsigned calls;        // how many calls of it the session makes when none fails
    bool reached;          // the session made that call
    long leftAlive;        // heap blocks the run left alive
};

struct SweepPlan {
    bool everyLater = false;   // every later call of the function fails too
    bool freshModule = false;  // every run starts with a newly loaded module
};

class DllTest : public ::testing::Test {
   protected:
    void SetUp() override;
    void TearDown() override;

    // Calls the named entry with these arguments, checks what every call
    // must do (both flags 0, a result stored; null for a command), frees the
    // result through freeResult and returns what the host saw.
    Outcome call(const char *entry, const std::vector<std::string> &args = {});
    // The same with a null argument array, as a host may pass for no arguments.
    Outcome callWithoutArgs(const char *entry);

    const XtableEntry *entry(const char *name) const;

    // Loads the DLL again, from scratch: module state starts over.
    void reload();

    // The one sweep of injected faults: runs session once to count the calls
    // of each function, then once for each of those calls failing in turn,
    // and hands each failing run to judge. Returns the number of those runs.
    unsigned sweep(const std::vector<std::string> &functions, const std::function<void()> &session,
                   const std::function<void(const FaultRun &)> &judge, SweepPlan plan = {});

    HMODULE dll = nullptr;
    std::string dllFile;  // the file dll was loaded from
    const char *libraryName = nullptr;
    const XtableEntry *table = nullptr;
    FreeResult freeResult = nullptr;
    // Set by a test that leaves DLL blocks alive on purpose.
    bool expectNoLeaks = true;

   private:
    void load();
    void unload();
    Outcome invoke(const char *entry, char **argv, int32_t argCount);
};
