# 32-bit Windows with mingw-w64. The posix thread-model compilers are the ones
# whose C++ library has std::thread and std::mutex, which GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZIBWIN32_TRIPLET i686-w64-mingw32)

set(CMAKE_C_COMPILER ${ZIBWIN32_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZIBWIN32_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZIBWIN32_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${ZIBWIN32_TRIPLET}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${ZIBWIN32_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Windows programs run here under Wine, in a 32-bit prefix.
set(ZIBWIN32_WINE wine)
set(ZIBWIN32_WINEARCH win32)
