#!/usr/bin/env bash
# Checks the shipped DLL as a host's loader sees it: its format, that it
# exports getXtable and nothing else, that it needs only KERNEL32, USER32 and
# the system C runtime, and that it keeps within its size budget.
#
# usage: dll_image.sh DLL OBJDUMP MAX_BYTES [FORMAT]   (FORMAT: pei-i386, pei-x86-64, coff-arm64)
set -u
dll=$1 objdump=$2 max=$3 format=${4:-pei-i386}
failed=0
fail() { echo "FAIL: $*"; failed=1; }

headers=$("$objdump" -p "$dll") || { echo "FAIL: $objdump cannot read $dll"; exit 1; }

actual_format=$("$objdump" -f "$dll" | sed -n 's/.*file format //p')
[ "$actual_format" = "$format" ] || fail "format is $actual_format, not $format"

# binutils' objdump lists them as "[   0] name", llvm's as "   1   0x1010  name".
exports=$(printf '%s\n' "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          sed -n 's/^\s*\[ *[0-9]*\] //p')
[ -n "$exports" ] ||
  exports=$(printf '%s\n' "$headers" | sed -n '/^Export Table:/,/^$/p' |
            awk '$1 ~ /^[0-9]+$/ && NF == 3 { print $3 }')
[ "$exports" = "getXtable" ] || fail "exports are [$exports], not exactly getXtable"

imports=$(printf '%s\n' "$headers" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
[ "$imports" = "kernel32.dll msvcrt.dll user32.dll " ] ||
  fail "imports are [$imports], not kernel32.dll msvcrt.dll user32.dll"

size=$(stat -c %s "$dll")
[ "$size" -le "$max" ] || fail "size is $size bytes, over the budget of $max"

[ $failed = 0 ] && echo "ok: $format, exports getXtable only, imports [$imports], $size bytes (budget $max)"
exit $failed
