# 32-bit Windows with clang and lld: the DLL that ships, with its PDB.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZIBWIN32_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-clang.cmake)
