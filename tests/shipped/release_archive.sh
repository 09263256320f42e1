#!/usr/bin/env bash
# Unpacks the release archive and checks it: exactly the files a host author
# needs, every checksum, and DLLs, PDBs and demo hosts that are the very files
# of the builds the tests check (the image, the symbols) and run against.
# usage: release_archive.sh ARCHIVE PRESET_X86 PRESET_X64   (from the source tree)
set -u
archive=$(realpath "$1") x86=$2 x64=$3
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

(cd "$unpacked" && cmake -E tar xf "$archive") || { echo "FAIL: cannot unpack $archive"; exit 1; }
expected="HOSTS.md SHA256SUMS include/zibwin32.h x64/zibhost.exe x64/zibwin32.dll x64/zibwin32.pdb x86/zibhost.exe x86/zibwin32.dll x86/zibwin32.pdb"
actual=$(cd "$unpacked" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
[ "$actual" = "$expected " ] || fail "the archive holds [$actual], want [$expected]"
(cd "$unpacked" && sha256sum --quiet -c SHA256SUMS) || fail "checksums do not match"
[ "$(wc -l <"$unpacked/SHA256SUMS")" -eq 8 ] || fail "SHA256SUMS does not list every file"
for pair in "x86 $x86" "x64 $x64"; do
  set -- $pair
  for file in zibwin32.dll zibwin32.pdb zibhost.exe; do
    cmp -s "$unpacked/$1/$file" "build/$2/bin/$file" || fail "$1/$file is not the tested build/$2/bin/$file"
  done
done
[ $failed = 0 ] && echo "ok: $(basename "$archive"): $actual"
exit $failed
