#!/usr/bin/env bash
# Runs the benchmarks under Wine, the wineserver and the program pinned to one
# CPU: under Wine many platform calls are round trips to the server, and a
# round trip between two cores costs more, and more unevenly, than on one.
# usage: bench.sh BUILD_DIR [--quick]
set -euo pipefail
build=$(realpath "$1")
shift

"$build/wine-server" stop
taskset -c 0 "$build/wine-server" start
trap '"$build/wine-server" stop' EXIT
taskset -c 0 "$build/wine-run" "$build/bin/zibwin32_bench.exe" "$@" 2>/dev/null
