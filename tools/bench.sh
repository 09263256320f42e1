#!/usr/bin/env bash
# Runs the benchmarks under Wine. The build's launcher keeps the program and
# its wineserver on one CPU: a round trip to the server between two cores
# costs more, and more unevenly, than on one.
# usage: bench.sh BUILD_DIR [--quick]
set -euo pipefail
build=$(realpath "$1")
shift

"$build/wine-server" stop
"$build/wine-server" start
trap '"$build/wine-server" stop' EXIT
"$build/wine-run" "$build/bin/zibwin32_bench.exe" "$@" 2>/dev/null
