#!/usr/bin/env bash
# Creates a private Wine prefix for the tests: null graphics driver (real
# windows without a display) and a set of drives of every kind Wine can give,
# each with a known volume label.
#
# usage: make-prefix.sh PREFIX [win32|win64]
# The drive folders live in PREFIX/volumes; PREFIX/.ready marks a finished
# prefix, which is left as it is unless this script changed since. Builds may
# share a prefix and ask for it at once: the first makes it, the others wait.
# WINE names the loader for the prefix's programs (default: wine), WINESERVER
# its server (default: wineserver).
set -euo pipefail
prefix=$(realpath -m "$1")
volumes="$prefix/volumes"
wine=${WINE:-wine}

mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ "$prefix/.ready" -nt "$0" ] && exit 0

# A 32-bit prefix unless asked otherwise, also where 64-bit Wine is installed.
export WINEARCH=${2:-win32}
# Where the machine cannot run the prefix's programs, there is nothing to make:
# the tests that need it say so when they run.
"$(dirname "$0")/can-run.sh" "$WINEARCH" || exit 0
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$prefix"
mkdir -p "$prefix"

# The first program of a prefix starts services that inherit its stdio:
# keep them away from any pipe the caller may be reading, and from the lock.
quietly() { "$@" </dev/null >/dev/null 2>&1 9>&-; }
quietly "$wine" wineboot -i
quietly "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
# A program that crashes ends there, with a failing exit status, instead of
# waiting in a debugger or passing for a clean exit.
debugger='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
quietly "$wine" reg add "$debugger" /v Debugger /d '' /f

# Wine returns labels of up to 255 characters (longer ones fail to read);
# 32 characters is the first length that no longer fits a 32-byte buffer.
longest_label=$(printf 'L%.0s' $(seq 1 255))
label32=$(printf 'N%.0s' $(seq 1 32))
drive() {
  local letter=$1 type=$2 label=$3
  local dir="$volumes/$letter"
  mkdir -p "$dir"
  [ -n "$label" ] && printf '%s' "$label" >"$dir/.windows-label"
  ln -sfn "$dir" "$prefix/dosdevices/$letter:"
  quietly "$wine" reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /d "$type" /f
}
drive d cdrom   ZIBCDROM
drive e floppy  ZIBFLOPPY
drive f network ZIBREMOTE
drive g hd      ""
drive h hd      "$longest_label"
drive i ramdisk ZIBRAM
drive k hd      "$label32"
# Characters that cp1252 has (É) and lacks (中), for hosts of either code page.
drive l hd      "ZÉ中"
# A letter whose folder is gone: the platform reports no root directory.
ln -sfn "$volumes/missing" "$prefix/dosdevices/j:"

quietly "${WINESERVER:-wineserver}" -k || true
touch "$prefix/.ready"
