#include "dll_test.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ostream>

const Outcome nullOutcome{true, ""};

Outcome textOf(const std::string &text) { return Outcome{false, text}; }

void PrintTo(const Outcome &outcome, std::ostream *out) {
    if (outcome.isNull)
        *out << "null";
    else
        *out << '"' << outcome.text << '"';
}

void report(const char *format, ...) {
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    std::fputs(line, stdout);
    const char *path = std::getenv("ZIBWIN32_REPORT");
    if (FILE *file = path && *path ? std::fopen(path, "a") : nullptr) {
        std::fputs(line, file);
        std::fclose(file);
    }
}

unsigned long long setting(const char *name, unsigned long long fallback) {
    const char *value = std::getenv(name);
    return value && *value ? std::strtoull(value, nullptr, 10) : fallback;
}

std::string linesOfKinds(const std::string &list, const std::string &filter) {
    std::string kept;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find('\n', start) + 1;
        std::string line = list.substr(start, end - start);
        std::string kind = line.substr(3, line.find(',', 3) - 3);
        if (filter.find(kind) != std::string::npos) kept += line;
        start = end;
    }
    return kept;
}

std::string characterSetName(const ::testing::TestParamInfo<CharacterSet> &info) {
    return nameOf(info.param);
}

namespace {

std::string dllPath() { return besideThisProgram("zibwin32.dll"); }

// The folder of the module copies, emptied of the copies of earlier runs.
std::string copiesFolder() {
    static const std::string folder = [] {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        std::string path = std::string(temp) + "zibwin32-copies\\";
        CreateDirectoryA(path.c_str(), nullptr);
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((path + "*.dll").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do DeleteFileA((path + found.cFileName).c_str());
            while (FindNextFileA(search, &found));
            FindClose(search);
        }
        return path;
    }();
    return folder;
}

// A copy of the DLL under a name of its own. A module that once hooked a
// window stays loaded, with its state, until the process ends; a copy that
// was never loaded before starts as the module starts in a host.
std::string freshCopyOfDll() {
    static unsigned copies = 0;
    std::string copy = copiesFolder() + std::to_string(GetCurrentProcessId()) + "-" +
                       std::to_string(++copies) + ".dll";
    if (!CopyFileA(dllPath().c_str(), copy.c_str(), FALSE)) return dllPath();
    return copy;
}

}  // namespace

void DllTest::SetUp() { load(); }

void DllTest::TearDown() {
    destroyTestWindows();
    if (expectNoLeaks) {
        EXPECT_EQ(platform::liveBlocks(), 0u) << "blocks of the DLL's heap left alive";
    }
    EXPECT_EQ(platform::strayFrees(), 0u) << "frees of blocks the DLL never had";
    EXPECT_EQ(platform::openSnapshots(), 0) << "process snapshots left open";
    unload();
}

void DllTest::load() {
    dllFile = freshCopyOfDll();
    LoadedLibrary library;
    std::string error;
    ASSERT_TRUE(loadLibrary(dllFile, &library, &error)) << error;
    dll = library.module;
    libraryName = library.name;
    table = library.table;
    freeResult = library.freeResult;
    platform::install(dll);
    platform::reset();
    platform::forgetBlocks();
}

void DllTest::unload() {
    // No fault outlives the test: what runs at unload (a coverage build
    // writes its counts) allocates too.
    platform::forgetCalls();
    if (dll) FreeLibrary(dll);
    dll = nullptr;
    table = nullptr;
    // Fails, and the copy stays until a later run, when the module is pinned.
    if (dllFile != dllPath()) DeleteFileA(dllFile.c_str());
}

void DllTest::reload() {
    destroyTestWindows();
    unload();
    load();
}

unsigned DllTest::sweep(const std::vector<std::string> &functions,
                        const std::function<void()> &session,
                        const std::function<void(const FaultRun &)> &judge, SweepPlan plan) {
    auto startRun = [&] { plan.freshModule ? reload() : platform::forgetCalls(); };
    startRun();
    session();
    std::vector<unsigned> totals;
    for (const std::string &function : functions) totals.push_back(platform::callCount(function));
    unsigned runs = 0;
    for (size_t i = 0; i < functions.size(); ++i) {
        for (unsigned k = 1; k <= totals[i]; ++k, ++runs) {
            SCOPED_TRACE(functions[i] + " failing at call " + std::to_string(k) + " of " +
                         std::to_string(totals[i]) + (plan.everyLater ? " and every later" : ""));
            startRun();
            long before = static_cast<long>(platform::liveBlocks());
            platform::fail(functions[i], {k, plan.everyLater ? platform::everyLater : 1});
            session();
            judge({functions[i], k, totals[i], platform::callCount(functions[i]) >= k,
                   static_cast<long>(platform::liveBlocks()) - before});
        }
    }
    return runs;
}

const XtableEntry *DllTest::entry(const char *name) const {
    return findEntry(LoadedLibrary{dll, libraryName, table, freeResult}, name);
}

Outcome DllTest::call(const char *name, const std::vector<std::string> &args) {
    std::vector<std::string> copies = args;
    return invoke(name, argumentArray(copies).data(), static_cast<int32_t>(args.size()));
}

Outcome DllTest::callWithoutArgs(const char *name) { return invoke(name, nullptr, 0); }

Outcome DllTest::invoke(const char *name, char **argv, int32_t argCount) {
    const XtableEntry *row = entry(name);
    if (row == nullptr) {
        ADD_FAILURE() << "no entry " << name;
        return nullOutcome;
    }
    static char notStored;
    char *result = &notStored;
    int32_t firstFlag = 0x5a5a5a5a;
    int32_t secondFlag = -1;
    row->handler(argv, argCount, &result, &firstFlag, &secondFlag);
    EXPECT_EQ(firstFlag, 0) << name;
    EXPECT_EQ(secondFlag, 0) << name;
    if (result == &notStored) {
        ADD_FAILURE() << name << " stored no result";
        return nullOutcome;
    }
    if (std::string(row->kind) == "C") {
        EXPECT_EQ(result, nullptr) << name << " is a command";
    }
    Outcome outcome{result == nullptr, result ? result : ""};
    freeResult(result);
    return outcome;
}
