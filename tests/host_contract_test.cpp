// The contract between a host and the DLL: the table, the flags, the results.
#include <cstring>
#include <set>

#include "dll_test.h"
#include "import_patch.h"

namespace {

struct Row {
    const char *name;
    const char *kind;
};

const Row expectedRows[] = {
    {"zibWin32EnumerateProcesses", "F"},
    {"zibWin32EnumerateVolumes", "F"},
    {"zibWin32Attach", "C"},
    {"zibWin32Detach", "C"},
    {"zibWin32SetAutoplayMode", "C"},
};

using HostContract = DllTest;

TEST_F(HostContract, TableWalkedToTheEmptyNameHoldsTheFiveEntriesInOrder) {
    EXPECT_STREQ(libraryName, "zibWin32");
    size_t rows = 0;
    for (const XtableEntry *row = table; row->name[0] != '\0'; ++row, ++rows) {
        ASSERT_LT(rows, std::size(expectedRows)) << "extra row " << row->name;
        EXPECT_STREQ(row->name, expectedRows[rows].name);
        EXPECT_STREQ(row->kind, expectedRows[rows].kind);
        EXPECT_EQ(row->reservedWord, 0u);
        EXPECT_NE(row->handler, nullptr);
        EXPECT_NE(row->auxCallback, nullptr);
        EXPECT_EQ(row->auxCallback, table[0].auxCallback) << "every row shares one routine";
    }
    EXPECT_EQ(rows, std::size(expectedRows));
    const XtableEntry &terminator = table[rows];
    ASSERT_NE(terminator.kind, nullptr);
    EXPECT_STREQ(terminator.kind, "");
    EXPECT_EQ(terminator.reservedWord, 0u);
    EXPECT_EQ(terminator.handler, nullptr);
    EXPECT_EQ(terminator.auxCallback, nullptr);
}

TEST_F(HostContract, SecondGetXtableHandsOutTheSameValuesAndIgnoresTheHostPointers) {
    auto get = reinterpret_cast<GetXtable>(reinterpret_cast<void *>(GetProcAddress(dll, "getXtable")));
    char hostFirst[16], hostSecond[16];
    std::memset(hostFirst, 0xA5, sizeof hostFirst);
    std::memset(hostSecond, 0x5A, sizeof hostSecond);
    const char *name = nullptr;
    const XtableEntry *again = nullptr;
    FreeResult deleter = nullptr;
    get(hostFirst, hostSecond, &name, &again, &deleter);
    EXPECT_EQ(name, libraryName);
    EXPECT_EQ(again, table);
    EXPECT_EQ(deleter, freeResult);
    for (unsigned char byte : hostFirst) EXPECT_EQ(byte, 0xA5);
    for (unsigned char byte : hostSecond) EXPECT_EQ(byte, 0x5A);
}

TEST_F(HostContract, EveryHandlerClearsBothFlagsAndStoresItsResultWhateverItsArguments) {
    const std::vector<std::vector<std::string>> argumentLists = {
        {}, {""}, {"1"}, {"1", "deny"}, {"x", "y", "z"}, {"", "", "", ""}};
    for (const Row &row : expectedRows) {
        SCOPED_TRACE(row.name);
        // call() checks the flags, that a result was stored, and null for a command.
        Outcome none = callWithoutArgs(row.name);
        if (std::strcmp(row.kind, "F") == 0) {
            EXPECT_FALSE(none.isNull);
        }
        for (const auto &args : argumentLists) call(row.name, args);
    }
}

TEST_F(HostContract, FreeResultOfNullDoesNothing) {
    freeResult(nullptr);
    EXPECT_EQ(platform::callCount("allocation"), 0u);
    EXPECT_EQ(platform::liveBlocks(), 0u);
}

TEST_F(HostContract, AuxCallbackDoesNothing) {
    table[0].auxCallback();
    EXPECT_EQ(platform::callCount("allocation"), 0u);
}

// A host that enforces Control Flow Guard calls into the DLL only through the
// functions in its table: every function that the host or the system calls
// through a pointer, and nothing else. The loader made the stack cookie random.
TEST_F(HostContract, FunctionsCalledThroughPointersAreTheValidTargets) {
#ifndef ZIBWIN32_HARDENED
    GTEST_SKIP() << "the gcc builds carry no load configuration";
#endif
    const auto *base = reinterpret_cast<const BYTE *>(dll);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER *>(base)->e_lfanew);
    using namespace loadConfigLayout;
    const auto *fids = reinterpret_cast<const BYTE *>(loadConfigField(dll, guardCFFunctionTable));
    const size_t stride = 4 + (static_cast<DWORD>(loadConfigField(dll, guardFlags)) >> 28);
    std::set<DWORD> valid, called = {nt->OptionalHeader.AddressOfEntryPoint};  // the load entry
    for (size_t i = 0; i < loadConfigField(dll, guardCFFunctionCount); ++i)
        valid.insert(*reinterpret_cast<const DWORD *>(fids + i * stride));
    auto calledThroughPointer = [&](auto function) {
        called.insert(static_cast<DWORD>(reinterpret_cast<const BYTE *>(function) - base));
    };
    calledThroughPointer(GetProcAddress(dll, "getXtable"));
    calledThroughPointer(freeResult), calledThroughPointer(table[0].auxCallback);
    for (const XtableEntry *row = table; row->name[0] != '\0'; ++row)
        calledThroughPointer(row->handler);
    for (CharacterSet set : {CharacterSet::Ansi, CharacterSet::Unicode}) {
        HWND window = createTestWindow(set);
        call("zibWin32Attach", {idOf(window)});
        calledThroughPointer(currentProcOf(window));  // the hook of either character set
    }
    EXPECT_EQ(valid, called);
    auto *cookie = reinterpret_cast<const uintptr_t *>(loadConfigField(dll, securityCookie));
    EXPECT_NE(*cookie, defaultCookie);
}

// The fault injection of these tests covers every platform call the DLL makes.
TEST_F(HostContract, EveryPlatformCallOfTheDllCanBeMadeToFail) {
    EXPECT_EQ(platform::unwatchedImports(dll, "KERNEL32.dll"), std::vector<std::string>{});
    EXPECT_EQ(platform::unwatchedImports(dll, "USER32.dll"), std::vector<std::string>{});
}

}  // namespace
