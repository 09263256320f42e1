#!/usr/bin/env bash
# Writes the release archive from the clang builds, which the tests have run
# against: FOLDER/zibwin32-VERSION-windows.zip, the builds installed into one
# folder (x86/, x64/ and arm64/ side by side under the shared header, CMake
# package and documents), its DLLs and demo hosts signed where a certificate
# is named (tools/sign.sh), with SHA256SUMS of the files as they ship. VERSION
# is the header's. It prints the archive's path alone on standard output and
# touches FOLDER only once every step before the archive has gone well.
# usage: release.sh [--out FOLDER] PRESET...   (run from the source tree; FOLDER: dist/)
set -euo pipefail
out=dist
if [ "${1:-}" = --out ]; then out=$2; shift 2; fi
version=$(sed -n 's/^#define ZIBWIN32_VERSION "\(.*\)"$/\1/p' zibwin32/include/zibwin32.h)
archive=$out/zibwin32-$version-windows.zip
target=$(realpath -m "$archive")  # for zip, which runs in the stage
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

for preset in "$@"; do
  cmake --install "build/$preset" --prefix "$stage" >/dev/null
done
tools/sign.sh "$stage"

# Files in a fixed order, each with a fixed time and no extra attributes, so
# that the same builds give the same archive, byte for byte (when unsigned:
# each signing has its own time).
mapfile -t files < <(cd "$stage" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
(cd "$stage" && sha256sum "${files[@]}" >SHA256SUMS)
find "$stage" -exec touch -d "2000-01-01 00:00:00 UTC" {} +
mkdir -p "$out"
rm -f "$archive"
(cd "$stage" && TZ=UTC zip -q -X -D "$target" "${files[@]}" SHA256SUMS)
echo "$archive"
