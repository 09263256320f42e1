// The contract between a host and the DLL: the table, the flags, the results.
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

#include "child_process.h"
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
    auto get =
        reinterpret_cast<GetXtable>(reinterpret_cast<void *>(GetProcAddress(dll, "getXtable")));
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
// through a pointer, and nothing else. The cookie is seeded as loaders seed
// it, and in copies that no loader seeds (naming no cookie, the field's
// relocation made a no-op; holding one) the load entry seeds the default and,
// on x86, a cookie of 16 bits; two host processes that load the copy naming
// no cookie get cookies of their own.
TEST_F(HostContract, TheLoadConfigurationNamesTheValidTargetsAndASeededCookie) {
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
    auto fileOffset = [&](uintptr_t rva) {  // by the section that holds it
        for (const IMAGE_SECTION_HEADER *at = IMAGE_FIRST_SECTION(nt);; ++at)
            if (rva - at->VirtualAddress < at->SizeOfRawData)
                return rva - at->VirtualAddress + at->PointerToRawData;
    };
    const IMAGE_DATA_DIRECTORY *directory = nt->OptionalHeader.DataDirectory,
                               &fixes = directory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
    const uintptr_t field = directory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG].VirtualAddress +
                            securityCookie,
                    cookie =
                        loadConfigField(dll, securityCookie) - reinterpret_cast<uintptr_t>(base);
    uintptr_t relocation = 0;
    for (DWORD at = fixes.VirtualAddress, size; at < fixes.VirtualAddress + fixes.Size;
         at += size) {
        const auto *block = reinterpret_cast<const IMAGE_BASE_RELOCATION *>(base + at);
        for (DWORD entry = at + sizeof *block, fix; entry < at + (size = block->SizeOfBlock);
             entry += 2)
            if ((fix = *reinterpret_cast<const WORD *>(base + entry)) >> 12 &&
                block->VirtualAddress + (fix & 0xFFF) == field)
                relocation = entry;
    }
    auto seeded = [](uintptr_t value) {
        return value != defaultCookie &&
               (sizeof value == 4 ? value >> 16 : uint64_t{value} >> 48 == 0);
    };
    ASSERT_TRUE(seeded(*reinterpret_cast<const uintptr_t *>(base + cookie)) && relocation);
    const std::string image{
        std::istreambuf_iterator<char>(std::ifstream(dllFile, std::ios::binary).rdbuf()), {}};
    // The copy's cookie (0: none named), and whether the load entry keeps it.
    for (auto [value, kept] : {std::pair<uintptr_t, bool>{0, false},
                               {uintptr_t(0x1234ABCD5EEDULL), true},
                               {0x4711, sizeof(uintptr_t) == 8}}) {
        std::string copy = image, path = dllFile + "." + std::to_string(value) + ".dll";
        if (value == 0)
            copy.replace(fileOffset(relocation), 2, 2, '\0');  // IMAGE_REL_BASED_ABSOLUTE
        copy.replace(fileOffset(value ? cookie : field), sizeof value,
                     reinterpret_cast<const char *>(&value), sizeof value);
        std::ofstream(path, std::ios::binary) << copy;
        HMODULE module = LoadLibraryA(path.c_str());
        uintptr_t now = module ? *reinterpret_cast<const uintptr_t *>(
                                     reinterpret_cast<const BYTE *>(module) + cookie)
                               : 0;
        EXPECT_TRUE(kept ? now == value : seeded(now)) << path << " holds " << now;
        if (value == 0) {
            std::set<uintptr_t> cookies;
            for (int host = 0; host < 2; ++host) {
                ChildRun run = runChild("\"" + besideThisProgram("host_process.exe") +
                                        "\" cookie \"" + path + "\" " + std::to_string(cookie));
                size_t at = run.output.find("cookie ");
                uintptr_t theirs = at == std::string::npos
                                       ? 0
                                       : std::stoull(run.output.substr(at + 7), nullptr, 16);
                EXPECT_TRUE(seeded(theirs)) << run.output;
                cookies.insert(theirs);
            }
            EXPECT_EQ(cookies.size(), 2u) << "two processes seeded the same cookie";
        }
        FreeLibrary(module);
        DeleteFileA(path.c_str());
    }
}

// The fault injection of these tests covers every platform call the DLL makes.
TEST_F(HostContract, EveryPlatformCallOfTheDllCanBeMadeToFail) {
    EXPECT_EQ(platform::unwatchedImports(dll, "KERNEL32.dll"), std::vector<std::string>{});
    EXPECT_EQ(platform::unwatchedImports(dll, "USER32.dll"), std::vector<std::string>{});
}

}  // namespace
