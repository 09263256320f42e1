#!/usr/bin/env bash
# Writes the release archive from the two clang builds, which the tests have
# run against: dist/zibwin32-VERSION-windows.zip with x86/ and x64/ (DLL, PDB,
# demo host), include/zibwin32.h, HOSTS.md and SHA256SUMS.
# usage: release.sh PRESET_X86 PRESET_X64   (run from the source tree)
set -euo pipefail
x86=$1 x64=$2
version=$(sed -n 's/^project(zibwin32 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
archive=dist/zibwin32-$version-windows.zip
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

for arch in x86 x64; do
  preset=$x86
  [ $arch = x64 ] && preset=$x64
  cmake --install "build/$preset" --prefix "$stage/$arch-install" >/dev/null
  mkdir -p "$stage/root/$arch"
  cp "$stage/$arch-install"/{zibwin32.dll,zibwin32.pdb,zibhost.exe} "$stage/root/$arch/"
done
mkdir -p "$stage/root/include"
cp "$stage/x86-install/include/zibwin32.h" "$stage/root/include/"
cp "$stage/x86-install/HOSTS.md" "$stage/root/"

# Files in a fixed order, each with a fixed time and no extra attributes, so
# that the same builds give the same archive, byte for byte.
files=$(cd "$stage/root" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
(cd "$stage/root" && sha256sum $files >SHA256SUMS)
find "$stage/root" -exec touch -d "2000-01-01 00:00:00 UTC" {} +
mkdir -p dist
rm -f "$archive"
(cd "$stage/root" && TZ=UTC zip -q -X -D "$OLDPWD/$archive" $files SHA256SUMS)
echo "$archive"
