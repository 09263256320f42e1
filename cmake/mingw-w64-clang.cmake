# Windows with clang and lld 19, for the target ZIBWIN32_TRIPLET names,
# against the mingw-w64 headers and libraries that the gcc cross compilers
# install (their C++ library too, from the posix thread model, as GoogleTest
# needs). LLVM 19 is the one that builds Control Flow Guard for this target.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER clang-19)
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_C_COMPILER_TARGET ${ZIBWIN32_TRIPLET})
set(CMAKE_CXX_COMPILER_TARGET ${ZIBWIN32_TRIPLET})
set(CMAKE_RC_COMPILER ${ZIBWIN32_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${ZIBWIN32_TRIPLET}-objdump)

# clang finds the mingw-w64 headers and libraries itself; the C++ library's
# headers and the gcc support libraries live in the folder of the posix-model
# compiler.
file(GLOB ZIBWIN32_GCC_LIBRARIES LIST_DIRECTORIES true /usr/lib/gcc/${ZIBWIN32_TRIPLET}/*-posix)
list(GET ZIBWIN32_GCC_LIBRARIES 0 ZIBWIN32_GCC_LIBRARIES)
set(ZIBWIN32_CXX_HEADERS ${ZIBWIN32_GCC_LIBRARIES}/include/c++)
set(CMAKE_CXX_FLAGS_INIT "-isystem ${ZIBWIN32_CXX_HEADERS} \
-isystem ${ZIBWIN32_CXX_HEADERS}/${ZIBWIN32_TRIPLET} -isystem ${ZIBWIN32_CXX_HEADERS}/backward")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -L${ZIBWIN32_GCC_LIBRARIES}")
endforeach()
# The posix-model C++ library needs winpthread, which gcc's driver adds of its
# own accord and clang's does not; lld takes libraries in any order.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -lpthread")

set(CMAKE_FIND_ROOT_PATH /usr/${ZIBWIN32_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
