#!/usr/bin/env bash
# The demo host's command line, as a user meets it.
# usage: zibhost_cli.sh WINE_RUN ZIBHOST_EXE
set -u
run=$1 host=$2
passed=0 failed=0
# Skipped (77) where this machine cannot run the host; wine-server says why.
"$(dirname "$run")/wine-server" check || exit 77

# expect NAME STATUS PATTERN -- ARGS...: an empty PATTERN wants no output at all.
expect() {
  local name=$1 status=$2 pattern=$3
  shift 4
  local output actual matched
  output=$("$run" "$host" "$@" 2>&1)
  actual=$?
  output=$(printf '%s\n' "$output" | grep -av '^wine: ')
  if [ -z "$pattern" ]; then
    [ -z "$output" ] && matched=1
  else
    printf '%s\n' "$output" | LC_ALL=C grep -q -- "$pattern" && matched=1
  fi
  if [ "$actual" = "$status" ] && [ -n "${matched:-}" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $name: status $actual (want $status), output: $output"
  fi
}

expect "table" 0 "C zibWin32SetAutoplayMode" -- --list
expect "process list" 0 "zibhost.exe" -- zibWin32EnumerateProcesses
expect "volume list" 0 "^D:,cdrom,ZIBCDROM$" -- zibWin32EnumerateVolumes cdrom
expect "a label outside cp1252 through a pipe, as returned (on a console, below, in its characters)" 0 $'^L:,fixed,Z\xC9?$' -- zibWin32EnumerateVolumes fixed
expect "command prints nothing" 0 "" -- zibWin32Attach 0
expect "unknown entry" 2 "no entry zibWin32Nothing; available: zibWin32EnumerateProcesses, zibWin32EnumerateVolumes, zibWin32Attach" -- zibWin32Nothing
expect "DLL that cannot be loaded" 2 "cannot load nowhere.dll" -- --dll nowhere.dll --list
expect "no entry named" 2 "usage: zibhost" --
expect "autoplay round trip" 0 "round trip ok" -- --autoplay-demo

console=$(LC_ALL=C.UTF-8 script -qec "$(printf '%q ' "$run" "$host" zibWin32EnumerateVolumes fixed)" /dev/null)
grep -q "L:,fixed,ZÉ?" <<<"$console" && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL: on a console: $console"; }
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
