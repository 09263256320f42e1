#!/usr/bin/env bash
# Writes the release archive from the two clang builds, which the tests have
# run against: dist/zibwin32-VERSION-windows.zip, both builds installed into
# one folder (x86/ and x64/ side by side under the shared header, CMake
# package and documents), with SHA256SUMS. VERSION is the header's.
# usage: release.sh PRESET_X86 PRESET_X64   (run from the source tree)
set -euo pipefail
version=$(sed -n 's/^#define ZIBWIN32_VERSION "\(.*\)"$/\1/p' zibwin32/include/zibwin32.h)
archive=dist/zibwin32-$version-windows.zip
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

for preset in "$@"; do
  cmake --install "build/$preset" --prefix "$stage" >/dev/null
done

# Files in a fixed order, each with a fixed time and no extra attributes, so
# that the same builds give the same archive, byte for byte.
files=$(cd "$stage" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
(cd "$stage" && sha256sum $files >SHA256SUMS)
find "$stage" -exec touch -d "2000-01-01 00:00:00 UTC" {} +
mkdir -p dist
rm -f "$archive"
(cd "$stage" && TZ=UTC zip -q -X -D "$OLDPWD/$archive" $files SHA256SUMS)
echo "$archive"
