#!/usr/bin/env bash
# Unpacks the release archive and checks it: exactly the files a host author
# needs, every checksum, DLLs, PDBs and demo hosts that are the very files of
# the builds the tests check (the image, the symbols) and run against, once
# the signatures of a signed one are removed, the header's version in the name
# and the changelog, and hosts that link the DLL (built once: not for "signed").
# usage: release_archive.sh ARCHIVE PRESET_X86 PRESET_X64 PRESET_ARM64 [signed]   (from the source tree)
set -u
archive=$(realpath "$1") x86=$2 x64=$3 arm64=$4 signed=${5:-}
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

(cd "$unpacked" && cmake -E tar xf "$archive") || { echo "FAIL: cannot unpack $archive"; exit 1; }
expected="CHANGELOG.md HOSTS.md LICENSE SHA256SUMS cmake/zibwin32-config-version.cmake cmake/zibwin32-config.cmake\
 include/zibwin32.h $(echo {arm64,x64,x86}/{libzibwin32.dll.a,zibhost.exe,zibwin32.dll,zibwin32.lib,zibwin32.pdb})"
expected=$(tr ' ' '\n' <<<"$expected" | LC_ALL=C sort | tr '\n' ' ')
actual=$(cd "$unpacked" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
[ "$actual" = "$expected" ] || fail "the archive holds [$actual], want [$expected]"
(cd "$unpacked" && sha256sum --quiet -c SHA256SUMS) || fail "checksums do not match"
[ "$(wc -l <"$unpacked/SHA256SUMS")" -eq 21 ] || fail "SHA256SUMS does not list every file"
version=$(sed -n 's/^#define ZIBWIN32_VERSION "\(.*\)"$/\1/p' "$unpacked/include/zibwin32.h")
[ "$(basename "$archive")" = "zibwin32-$version-windows.zip" ] || fail "the archive's name is not of $version"
grep -q "^## \[$version\] - " "$unpacked/CHANGELOG.md" || fail "CHANGELOG.md has no entry for $version"
for pair in "x86 $x86" "x64 $x64" "arm64 $arm64"; do
  set -- $pair
  for file in zibwin32.dll zibwin32.pdb zibhost.exe; do
    osslsigncode remove-signature -in "$unpacked/$1/$file" -out "$unpacked/$1/$file.0" >/dev/null 2>&1 || cp "$unpacked/$1/$file"{,.0}
    cmp -s "$unpacked/$1/$file.0" "build/$2/bin/$file" || fail "$1/$file is not the tested build/$2/bin/$file"
  done
done
[ $failed = 0 ] && echo "ok: $(basename "$archive"): $actual${signed:+, signed}"
[ -n "$signed" ] || "$(dirname "$0")/linked_hosts.sh" "$unpacked" "$x86" "$x64" "$arm64" || failed=1
exit $failed
