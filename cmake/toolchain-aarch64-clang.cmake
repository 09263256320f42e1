# 64-bit ARM Windows with clang and lld 19: the DLL that ships for native
# ARM64 hosts. Debian packages no mingw-w64 runtime for this target, so the
# project builds its own from Debian's sources (tools/arm64/make-runtime.sh)
# into a sysroot in its cache folder, whose libraries clang's mingw driver
# takes as they are: libc++ for C++, the compiler-rt builtins as libgcc.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(ZIBWIN32_TRIPLET aarch64-w64-mingw32)
if(DEFINED ENV{ZIBWIN32_ARM64_CACHE})
  set(ZIBWIN32_ARM64_CACHE $ENV{ZIBWIN32_ARM64_CACHE})
else()
  set(ZIBWIN32_ARM64_CACHE /var/cache/zibwin32-arm64)
endif()
set(CMAKE_SYSROOT ${ZIBWIN32_ARM64_CACHE}/runtime)

set(CMAKE_C_COMPILER clang-19)
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_C_COMPILER_TARGET ${ZIBWIN32_TRIPLET})
set(CMAKE_CXX_COMPILER_TARGET ${ZIBWIN32_TRIPLET})
set(CMAKE_RC_COMPILER llvm-windres-19)
set(CMAKE_RC_FLAGS_INIT "--target=${ZIBWIN32_TRIPLET} -I${CMAKE_SYSROOT}/include")
# binutils' objdump does not know arm64 PE images; llvm's does.
set(CMAKE_OBJDUMP llvm-objdump-19)
set(CMAKE_CXX_FLAGS_INIT "-stdlib=libc++")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -stdlib=libc++")
endforeach()

set(CMAKE_FIND_ROOT_PATH ${CMAKE_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
