// What Windows and a host author see of the shipped DLL as a file.
#include <cstdio>
#include <string>
#include <vector>

#include "dll_test.h"

namespace {

// A string in the block that \VarFileInfo\Translation names, where Explorer and installers read it.
std::string versionString(const std::vector<char> &info, const std::string &block,
                          const char *name) {
    char *value = nullptr;
    UINT length = 0;
    std::string key = "\\StringFileInfo\\" + block + "\\" + name;
    if (!VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void **>(&value), &length))
        return "<none>";
    return std::string(value);
}

TEST(Packaging, VersionResourceDescribesTheLibrary) {
    std::string dll = besideThisProgram("zibwin32.dll");
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(dll.c_str(), &handle);
    ASSERT_GT(size, 0u) << "no version resource in " << dll;
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(dll.c_str(), 0, size, info.data()));
    WORD *pair = nullptr;
    UINT length = 0;
    VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void **>(&pair),
                   &length);
    ASSERT_EQ(std::vector<WORD>(pair, pair + length / 2), (std::vector<WORD>{0x0409, 1200}))
        << "one: US English, Unicode";
    char block[9];  // as \StringFileInfo names it
    std::snprintf(block, sizeof block, "%04x%04x", pair[0], pair[1]);
    EXPECT_EQ(versionString(info, block, "OriginalFilename"), "zibwin32.dll");
    EXPECT_EQ(versionString(info, block, "ProductVersion"), ZIBWIN32_VERSION);
    EXPECT_EQ(versionString(info, block, "FileVersion"), ZIBWIN32_VERSION);
    EXPECT_NE(versionString(info, block, "FileDescription").find("zibwin32"), std::string::npos);

    VS_FIXEDFILEINFO *fixed = nullptr;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(fixed->dwFileVersionMS,
              static_cast<DWORD>(MAKELONG(ZIBWIN32_VERSION_MINOR, ZIBWIN32_VERSION_MAJOR)));
    EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), ZIBWIN32_VERSION_PATCH);
}

}  // namespace
