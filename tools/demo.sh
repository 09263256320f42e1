#!/usr/bin/env bash
# Shows the DLL at work through the demo host, under Wine in the build's prefix.
# usage: demo.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
run="$build/wine-run"
host="$build/bin/zibhost.exe"

"$build/wine-server" start
trap '"$build/wine-server" stop' EXIT

step() { printf '\n$ zibhost %s\n' "$*"; "$run" "$host" "$@" 2>/dev/null; }
step --list
step zibWin32EnumerateProcesses
step zibWin32EnumerateVolumes
step zibWin32EnumerateVolumes "fixed cdrom"
step --autoplay-demo
