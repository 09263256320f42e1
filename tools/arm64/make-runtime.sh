#!/usr/bin/env bash
# Builds the runtime that the arm64 build links against, which Debian does not
# package for aarch64-w64-mingw32: the mingw-w64 headers, C runtime and import
# libraries of the system DLLs, compiler-rt's builtins, and libunwind,
# libc++abi and libc++ (static), all from Debian's own source packages of the
# versions installed here, with clang 19. The test programs need all of it;
# the DLL itself only the import libraries and the start files.
#
# The runtime is a sysroot (RUNTIME/include, RUNTIME/lib) that clang's mingw
# driver takes as it is: libgcc.a is the builtins, libgcc_eh.a libunwind.
# RUNTIME/.ready names the source versions it was built from; a runtime
# without it, or from other versions, is built again.
# usage: make-runtime.sh RUNTIME
set -euo pipefail
runtime=$(realpath -m "$1")
target=aarch64-w64-mingw32
mingw_version=$(dpkg-query -W -f='${Version}' mingw-w64-common)
llvm_version=$(dpkg-query -W -f='${Version}' llvm-19)
want="mingw-w64 $mingw_version, llvm-toolchain-19 $llvm_version"
[ -f "$runtime/.ready" ] && [ "$(cat "$runtime/.ready")" = "$want" ] && exit 0

echo "arm64 runtime: building it from Debian's sources in $runtime (3 to 9 minutes)" >&2
work=$runtime.work
rm -rf "$runtime" "$work"
mkdir -p "$runtime" "$work/apt/lists/partial" "$work/src"
log=$runtime.log
# Everything goes to the log, but for what the parts say on the terminal (3).
exec 3>&2 >"$log" 2>&1
# Each part says when it is done, on the terminal; the log has the rest.
started=$SECONDS
step() {
  [ -z "${part:-}" ] || echo "arm64 runtime: $part done at $((SECONDS - started)) s" >&3
  part=$1
  echo "== $part"
}
fail() {
  tail -30 "$log" >&3
  echo "the arm64 runtime could not be built: see $log" >&3
  exit 1
}
trap fail ERR

# The source packages of the installed versions, from the mirror apt uses.
step "sources"
mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)
mirror=${mirror:-http://deb.debian.org/debian}
echo "deb-src $mirror bookworm main" >"$work/apt/sources.list"
apt_src=(-o Dir::Etc::sourcelist="$work/apt/sources.list" -o Dir::Etc::sourceparts=-
         -o Dir::State::Lists="$work/apt/lists" -o APT::Get::Download-Only=true)
apt-get "${apt_src[@]}" update
(cd "$work/src" && apt-get "${apt_src[@]}" source --download-only \
   "mingw-w64=$mingw_version" "llvm-toolchain-19=$llvm_version")
cd "$work/src"
tarball() {
  local found
  for found in "$1"_*.orig.tar.*; do
    [ "${found%.asc}" = "$found" ] && echo "$found" && return
  done
}
tar -xf "$(tarball mingw-w64)"
# Only the parts of LLVM that the runtimes build from.
llvm_tar=$(tarball llvm-toolchain-19)
llvm_top=$( (tar -tf "$llvm_tar" || true) | head -1 | cut -d/ -f1)
parts=(cmake compiler-rt libcxx libcxxabi libunwind runtimes third-party llvm/cmake llvm/utils)
tar -xf "$llvm_tar" "${parts[@]/#/$llvm_top/}"
mingw_folders=(mingw-w64-*/)
mingw=$work/src/${mingw_folders[0]}
llvm=$work/src/$llvm_top

cc="clang-19 --target=$target --sysroot=$runtime -fuse-ld=lld"
tools=(AR=llvm-ar-19 RANLIB=llvm-ranlib-19 DLLTOOL=llvm-dlltool-19)
jobs=$(nproc)

step "headers"
mkdir -p "$work/headers" && cd "$work/headers"
"$mingw/mingw-w64-headers/configure" --host=$target --prefix="$runtime" \
  --with-default-msvcrt=msvcrt
make install

step "C runtime"
mkdir -p "$work/crt" && cd "$work/crt"
"$mingw/mingw-w64-crt/configure" --host=$target --prefix="$runtime" --enable-libarm64 \
  --disable-lib32 --disable-lib64 --disable-libarm32 --with-default-msvcrt=msvcrt \
  CC="$cc" "${tools[@]}"
make -j"$jobs"
make install
# The arm64 libraries go to lib/, where the driver looks.
if [ -d "$runtime/libarm64" ]; then
  cp -a "$runtime/libarm64/." "$runtime/lib/"
  rm -rf "$runtime/libarm64"
fi

cmake_common=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_SYSTEM_NAME=Windows
  -DCMAKE_SYSTEM_PROCESSOR=aarch64
  -DCMAKE_C_COMPILER=clang-19 -DCMAKE_CXX_COMPILER=clang++-19 -DCMAKE_ASM_COMPILER=clang-19
  "-DCMAKE_C_COMPILER_TARGET=$target" "-DCMAKE_CXX_COMPILER_TARGET=$target"
  "-DCMAKE_ASM_COMPILER_TARGET=$target"
  -DCMAKE_SYSROOT="$runtime" -DCMAKE_AR=/usr/bin/llvm-ar-19 -DCMAKE_RANLIB=/usr/bin/llvm-ranlib-19
  -DCMAKE_C_COMPILER_WORKS=1 -DCMAKE_CXX_COMPILER_WORKS=1 -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld
  -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld)

step "compiler-rt builtins"
cmake -S "$llvm/compiler-rt/lib/builtins" -B "$work/builtins" "${cmake_common[@]}" \
  -DCOMPILER_RT_DEFAULT_TARGET_ONLY=TRUE -DCOMPILER_RT_BUILD_BUILTINS=TRUE \
  -DCOMPILER_RT_EXCLUDE_ATOMIC_BUILTIN=FALSE -DLLVM_CONFIG_PATH=
cmake --build "$work/builtins" -j"$jobs"
cp "$(find "$work/builtins" -name 'libclang_rt.builtins*.a' | head -1)" "$runtime/lib/libgcc.a"
llvm-ar-19 rc "$runtime/lib/libgcc_s.a"

step "libunwind, libc++abi and libc++"
cmake -S "$llvm/runtimes" -B "$work/libcxx" "${cmake_common[@]}" -DCMAKE_INSTALL_PREFIX="$runtime" \
  -DLLVM_ENABLE_RUNTIMES="libunwind;libcxxabi;libcxx" \
  -DLIBUNWIND_USE_COMPILER_RT=TRUE -DLIBUNWIND_ENABLE_SHARED=OFF -DLIBUNWIND_ENABLE_STATIC=ON \
  -DLIBCXX_USE_COMPILER_RT=ON -DLIBCXX_ENABLE_SHARED=OFF -DLIBCXX_ENABLE_STATIC=ON \
  -DLIBCXX_ENABLE_STATIC_ABI_LIBRARY=TRUE -DLIBCXX_CXX_ABI=libcxxabi -DLIBCXX_LIBDIR_SUFFIX= \
  -DLIBCXX_INCLUDE_TESTS=FALSE -DLIBCXX_ENABLE_ABI_LINKER_SCRIPT=FALSE \
  -DLIBCXXABI_USE_COMPILER_RT=ON -DLIBCXXABI_USE_LLVM_UNWINDER=ON -DLIBCXXABI_ENABLE_SHARED=OFF \
  -DLIBCXXABI_LIBDIR_SUFFIX= \
  -DCMAKE_C_FLAGS_INIT=-L"$runtime/lib" -DCMAKE_CXX_FLAGS_INIT=-L"$runtime/lib" \
 
cmake --build "$work/libcxx" -j"$jobs"
cmake --install "$work/libcxx"
cp "$runtime/lib/libunwind.a" "$runtime/lib/libgcc_eh.a"

step finished
trap - ERR
rm -rf "$work"
echo "$want" >"$runtime/.ready"
