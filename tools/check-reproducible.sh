#!/usr/bin/env bash
# Builds the DLL twice more, from two copies of the source tree in two
# differently named folders, and checks that both give the bytes of the DLL
# the suite tested: no link time, no build folder inside.
#
# usage: check-reproducible.sh SOURCE_DIR PRESET TESTED_DLL
set -euo pipefail
source_dir=$(realpath "$1") preset=$2 tested=$(realpath "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

hashes=("$(sha256sum <"$tested" | cut -d' ' -f1)  tested: $tested")
for folder in "$work/one" "$work/a-second-and-longer-folder"; do
  mkdir -p "$folder"
  # The tree as a clone of it would hold it, uncommitted changes included.
  git -C "$source_dir" ls-files -z --cached --others --exclude-standard |
    (cd "$source_dir" && xargs -0 cp --parents -t "$folder" 2>/dev/null || true)
  (cd "$folder" && cmake --preset "$preset" -DZIBWIN32_TESTS=OFF >/dev/null &&
     cmake --build --preset "$preset" --target zibwin32 >/dev/null)
  hashes+=("$(sha256sum <"$folder/build/$preset/bin/zibwin32.dll" | cut -d' ' -f1)  $folder")
done
printf '%s\n' "${hashes[@]}"
first=${hashes[0]%% *}
for line in "${hashes[@]}"; do
  [ "${line%% *}" = "$first" ] || { echo "FAIL: the builds differ"; exit 1; }
done
echo "ok: three builds, one DLL"
