// What Windows and a host author see of the shipped DLL as a file.
#include <string>
#include <vector>

#include "dll_test.h"

namespace {

std::string versionString(const std::vector<char> &info, const char *name) {
    char *value = nullptr;
    UINT length = 0;
    std::string key = std::string("\\StringFileInfo\\040904b0\\") + name;
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
    EXPECT_EQ(versionString(info, "OriginalFilename"), "zibwin32.dll");
    EXPECT_EQ(versionString(info, "ProductVersion"), ZIBWIN32_VERSION);
    EXPECT_EQ(versionString(info, "FileVersion"), ZIBWIN32_VERSION);
    EXPECT_NE(versionString(info, "FileDescription").find("zibwin32"), std::string::npos);

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(ZIBWIN32_VERSION_MINOR, ZIBWIN32_VERSION_MAJOR)));
    EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), ZIBWIN32_VERSION_PATCH);
}

}  // namespace
