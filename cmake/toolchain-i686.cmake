# 32-bit Windows with gcc (mingw-w64), the library's own target.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZIBWIN32_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
