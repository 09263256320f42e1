#!/usr/bin/env bash
# `cmake --install` lays out what a host author needs, and nothing of the tests.
# usage: install_layout.sh BUILD_DIR ARCH SYMBOLS [PDB]
# SYMBOLS: the build's PDB or link map. With PDB, the build ships the PDB beside the DLL.
set -u
build=$1 arch=$2 symbols=$3 pdb=${4:-}
here=$(dirname "$0")
dist=$(mktemp -d)
trap 'rm -rf "$dist"' EXIT
cmake --install "$build" --prefix "$dist" >/dev/null || { echo "FAIL: install"; exit 1; }

failed=0
expected="CHANGELOG.md HOSTS.md LICENSE cmake/zibwin32-config-version.cmake cmake/zibwin32-config.cmake\
 include/zibwin32.h $(echo $arch/{libzibwin32.dll.a,zibhost.exe,zibwin32.dll,zibwin32.lib})${pdb:+ $arch/zibwin32.pdb}"
expected=$(tr ' ' '\n' <<<"$expected" | LC_ALL=C sort | tr '\n' ' ')
actual=$(cd "$dist" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
[ "$actual" = "$expected" ] || { echo "FAIL: installed [$actual], want [$expected]"; failed=1; }
grep -q '^# zibwin32 for host authors' "$dist/HOSTS.md" || { echo "FAIL: HOSTS.md has no title"; failed=1; }
grep -q 'freeResult' "$dist/HOSTS.md" || { echo "FAIL: HOSTS.md says nothing of freeResult"; failed=1; }
grep -q 'zibhost \[--dll PATH\] ENTRY' "$dist/HOSTS.md" || { echo "FAIL: HOSTS.md leaves out the demo host"; failed=1; }
[ -n "$pdb" ] && symbols=$dist/$arch/zibwin32.pdb
"$here/dll_image.sh" "$dist/$arch/zibwin32.dll" "$dist/$arch/zibhost.exe" 20480 "$arch" "$symbols" || failed=1
[ -z "$pdb" ] || "$here/symbols.sh" "$dist/$arch/zibwin32.dll" "$dist/$arch/zibwin32.pdb" || failed=1
[ $failed = 0 ] && echo "ok: $actual"
exit $failed
