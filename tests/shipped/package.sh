#!/usr/bin/env bash
# The CMake package as a host's configure step reads it, a row a project: the DLL and import library of each architecture,
# compiler and language, the versions it takes, what a project of an architecture the release lacks is told. The release:
# the package's two files beside empty DLLs and import libraries, in the build's BUILD_DIR/package.
# usage: package.sh BUILD_DIR   (the build's zibwin32 folder, which holds the version file; from the source tree)
set -u
work=$1/package failed=0 runs=0
rm -rf "$work" && mkdir -p "$work/whole/"{cmake,x86,x64,arm64} && cp zibwin32/zibwin32-config.cmake "$1/zibwin32-config-version.cmake" "$work/whole/cmake/" &&
  touch "$work/whole/"{x86,x64,arm64}/{zibwin32.dll,zibwin32.lib,libzibwin32.dll.a} && cp -r "$work/"{whole,lacking} && rm -r "$work/lacking/arm64"
names="CMAKE_SYSTEM_PROCESSOR;CMAKE_C_COMPILER_ARCHITECTURE_ID;CMAKE_CXX_COMPILER_ARCHITECTURE_ID;CMAKE_C_SIMULATE_ID;CMAKE_CXX_SIMULATE_ID;CMAKE_SIZEOF_VOID_P;MSVC"
row() {  # "REQUEST RELEASE PROCESSOR C_ID CXX_ID C_SIMULATE CXX_SIMULATE POINTER MSVC" EXPECTED
  local expected=$2 word arch implib && runs=$((runs + 1)) && set -- $1 && read -r word arch implib <<<"$expected" && [ "$word" != found ] || expected="found $work/$2/$arch/zibwin32.dll $work/$2/$arch/$implib"
  cmake -S tests/shipped/package -B "$work/project$runs" -DCMAKE_PREFIX_PATH="$work/$2" -DZIBWIN32_REQUEST="$1" \
    "-DZIBWIN32_NAMES=$names" "-DZIBWIN32_ROW=$(IFS=';'; echo "${*:3:7}" | tr -d -)" 2>&1 | grep -qF -- "$expected" &&
    echo "ok: $*: $expected" || { echo "FAIL: $*: no [$expected]"; failed=1; }
}
for arch in X86/4/x86/i686 x64/8/x64/x86_64 ARM64/8/arm64/aarch64; do  # MSVC with C alone, C++ alone, both; mingw
  IFS=/ read -r id pointer folder processor <<<"$arch"
  for languages in "$id -" "- $id" "$id $id"; do row "1.0 whole AMD64 $languages - - $pointer 1" "found $folder zibwin32.lib"; done
  row "1.0 whole $processor - - - - $pointer -" "found $folder libzibwin32.dll.a"
done
row "1.0 whole AMD64 x64 - MSVC - 8 -" "found x64 zibwin32.lib"    # clang for the MSVC target
row "1.0 whole AMD64 - ARM64 - MSVC 8 -" "found arm64 zibwin32.lib"
row "1.0 lacking aarch64 - - - - 8 -" "this zibwin32 holds no arm64 DLL and import library; it holds: x86, x64"
version=$(sed -n 's/^#define ZIBWIN32_VERSION "\(.*\)"$/\1/p' zibwin32/include/zibwin32.h)
for request in "$version" 0.9 1.$(($(cut -d. -f2 <<<"$version") + 1)) 2.0; do  # its own, and others that it refuses
  row "$request whole i686 - - - - 4 -" "$([ "$request" = "$version" ] && echo found x86 libzibwin32.dll.a ||
                                            echo "compatible with requested version \"$request\"")"
done
exit $failed
