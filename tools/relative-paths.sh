#!/usr/bin/env bash
# Compiler launcher for the DLL: runs the compile with every path inside the
# source tree made relative to the folder the compile runs in. The clang of
# this toolchain records its whole command line in the CodeView of every
# object, and the PDB's GUID, which the DLL carries, is a hash of the PDB: an
# absolute path there would make a DLL built in one folder differ from the
# same DLL built in another. Builds live inside the source tree, at the same
# depth in every clone, so the relative paths are the same everywhere.
#
# usage: relative-paths.sh SOURCE_DIR COMPILER ARG...
set -euo pipefail
source_dir=$1
shift
relative=$(realpath --relative-to="$PWD" "$source_dir")
args=()
for arg in "$@"; do
  args+=("${arg//$source_dir/$relative}")
done
exec "${args[@]}"
