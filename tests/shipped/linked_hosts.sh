#!/usr/bin/env bash
# Hosts that link the released DLL, built from the unpacked release alone and
# run under Wine, for each architecture: a mingw host through the CMake
# package, and an MSVC-style host that lld-link links against zibwin32.lib.
# An arm64 host's loader refuses the x86 and x64 DLLs.
# usage: linked_hosts.sh UNPACKED_RELEASE PRESET_X86 PRESET_X64 PRESET_ARM64   (from the source tree)
set -u
release=$1 source=$PWD/tests/shipped/linked_host work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; failed=1; fi; }
# A check that runs a host under Wine, or says that this machine cannot.
check_run() { if [ -n "$runnable" ]; then check "$@"; else echo "not run: $1 (no $arch Wine here)"; fi; }

for arch in x86 x64 arm64; do
  case $arch in
    x86) preset=$2 cpu=i686 toolchain=i686 machine=i386 at=@4 ;;
    x64) preset=$3 cpu=x86_64 toolchain=x86_64 machine=i386:x86-64 at= ;;
    arm64) preset=$4 cpu=aarch64 toolchain=aarch64-clang machine=arm64 at= ;;
  esac
  run=build/$preset/wine-run out=$work/$arch
  mkdir -p "$out"
  printf 'LIBRARY kernel32.dll\nEXPORTS\nExitProcess%s\n' "$at" >"$out/kernel32.def"
  runnable=yes && "build/$preset/wine-server" check || runnable=
  [ -n "$runnable" ] && "build/$preset/wine-server" start
  check "$arch: a mingw host builds through zibwin32::zibwin32" 'cmake -S "$source" -B "$out/1.0" -DCMAKE_PREFIX_PATH="$release" \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-$toolchain.cmake" >"$out/1.0.log" 2>&1 && cmake --build "$out/1.0" >>"$out/1.0.log" 2>&1'
  check_run "$arch: the mingw host calls getXtable" '"$run" "$out/1.0/linked_host.exe"'
  check "$arch: an MSVC-style host links through zibwin32.lib" \
    'llvm-dlltool-19 -m $machine -k -d "$out/kernel32.def" -l "$out/kernel32.lib" &&
     clang-19 --target=$cpu-pc-windows-msvc -ffreestanding -Wall -Wextra -Werror -I "$release/include" \
              -c "$source/linked_host.c" -o "$out/host.obj" &&
     lld-link-19 /nodefaultlib /subsystem:console /entry:main /out:"$out/msvc_host.exe" "$out/host.obj" \
                 "$release/$arch/zibwin32.lib" "$out/kernel32.lib"'
  check_run "$arch: without the DLL it does not start: the loader cannot find it" \
    'WINEDEBUG=err+module "$run" "$out/msvc_host.exe" 2>&1 | grep -q "zibwin32.dll.*not found"'
  check_run "$arch: beside the DLL it calls getXtable" \
    'cp "$release/$arch/zibwin32.dll" "$out/" && "$run" "$out/msvc_host.exe"'
  [ $arch = arm64 ] && for other in x86 x64; do
    check_run "arm64: the loader refuses the $other DLL (ERROR_BAD_EXE_FORMAT)" \
      '"$run" "$release/arm64/zibhost.exe" --dll "$release/$other/zibwin32.dll" --list 2>&1 |
       grep -q "(error 193)"'
  done
  [ -n "$runnable" ] && "build/$preset/wine-server" stop
done
exit $failed
