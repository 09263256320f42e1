# 64-bit Windows with gcc (mingw-w64), for 64-bit hosts.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZIBWIN32_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
