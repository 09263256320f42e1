# 32-bit Windows, the library's own target.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZIBWIN32_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Windows programs run here under Wine, in a 32-bit prefix.
set(ZIBWIN32_WINE wine)
set(ZIBWIN32_WINEARCH win32)
