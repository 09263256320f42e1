#!/usr/bin/env bash
# Builds what the release ships (the DLL and the demo host) twice more, from
# two copies of the source tree in two differently named folders, and checks
# that both give the bytes of the files the suite tested: no link time, no
# build folder inside.
#
# usage: check-reproducible.sh SOURCE_DIR PRESET TESTED_BIN_DIR
set -euo pipefail
source_dir=$(realpath "$1") preset=$2 tested=$(realpath "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
shipped=(zibwin32.dll zibhost.exe)

hashes() { (cd "$1" && sha256sum "${shipped[@]}" | sed "s|\$|  ($2)|"); }
all=$(hashes "$tested" tested)
for folder in "$work/one" "$work/a-second-and-longer-folder"; do
  mkdir -p "$folder"
  # The tree as a clone of it would hold it, uncommitted changes included.
  (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
     xargs -0 cp --parents -t "$folder")
  (cd "$folder" && cmake --preset "$preset" -DZIBWIN32_TESTS=OFF >/dev/null &&
     cmake --build --preset "$preset" --target zibhost >/dev/null)
  all+=$'\n'$(hashes "$folder/build/$preset/bin" "$folder")
done
echo "$all"
for file in "${shipped[@]}"; do
  distinct=$(grep " $file " <<<"$all" | cut -d' ' -f1 | sort -u | wc -l)
  [ "$distinct" -eq 1 ] || { echo "FAIL: the builds of $file differ"; exit 1; }
done
echo "ok: three builds, the same ${shipped[*]}"
