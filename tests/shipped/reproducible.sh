#!/usr/bin/env bash
# Builds what the release ships (the DLL and the demo host) once more, from a
# copy of the source tree in a folder of another name and length, and checks
# that it gives the bytes of the files the suites tested: no link time, no
# build folder inside.
#
# usage: reproducible.sh SOURCE_DIR PRESET TESTED_BIN_DIR
set -euo pipefail
source_dir=$(realpath "$1") preset=$2 tested=$(realpath "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
shipped=(zibwin32.dll zibhost.exe)
copy="$work/a-second-and-longer-folder"

mkdir -p "$copy"
# The tree as a clone of it would hold it, uncommitted changes included.
(cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
   xargs -0 cp --parents -t "$copy")
(cd "$copy" && cmake --preset "$preset" -DZIBWIN32_TESTS=OFF >/dev/null &&
   cmake --build --preset "$preset" --target zibhost >/dev/null)
failed=0
for file in "${shipped[@]}"; do
  one=$(sha256sum <"$tested/$file" | cut -d' ' -f1)
  other=$(sha256sum <"$copy/build/$preset/bin/$file" | cut -d' ' -f1)
  echo "$one  $file (tested, $source_dir)"
  echo "$other  $file (rebuilt, $copy)"
  [ "$one" = "$other" ] || { echo "FAIL: the builds of $file differ"; failed=1; }
done
[ $failed = 0 ] && echo "ok: two builds in two folders, the same ${shipped[*]}"
exit $failed
