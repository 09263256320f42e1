# 64-bit Windows with clang and lld: the DLL that ships for 64-bit hosts.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZIBWIN32_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-clang.cmake)
