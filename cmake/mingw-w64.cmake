# Windows with mingw-w64, for the target ZIBWIN32_TRIPLET names. The posix
# thread-model compilers are the ones whose C++ library has std::thread and
# std::mutex, which GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ZIBWIN32_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZIBWIN32_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZIBWIN32_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${ZIBWIN32_TRIPLET}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${ZIBWIN32_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
