#!/usr/bin/env bash
# Checks the shipped DLL as a host's loader sees it: its format, getXtable its
# one export, only KERNEL32, USER32 and the system C runtime needed, its own
# load entry its entry point, its size budget; and that it and the demo host
# need their architecture's floor and import only what Windows has there.
# usage: dll_image.sh DLL HOST MAX_BYTES ARCH SYMBOLS   (ARCH x86|x64|arm64, SYMBOLS PDB|link map)
set -u
dll=$1 host=$2 max=$3 arch=$4 symbols=$5
readobj=llvm-readobj-19 list=$(dirname "$0")/imports.txt
failed=0
fail() { echo "FAIL: $*"; failed=1; }

headers=$("$readobj" --file-headers --coff-exports --coff-imports "$dll") || { echo "FAIL: cannot read $dll"; exit 1; }
value() { sed -n "s/^ *$1: //p" <<<"$headers" | head -1; }
case $arch:$(value Format) in x86:COFF-i386 | x64:COFF-x86-64 | arm64:COFF-ARM64) ;; *) fail "format $(value Format), not $arch" ;; esac
exports=$(sed -n '/^Export {/,/^}/s/^ *Name: //p' <<<"$headers" | grep .)
[ "$exports" = "getXtable" ] || fail "exports are [$exports], not exactly getXtable"
imports=$(sed -n '/^Import {/,/^}/s/^ *Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
[ "$imports" = "kernel32.dll msvcrt.dll user32.dll " ] ||
  fail "imports are [$imports], not kernel32.dll msvcrt.dll user32.dll"
size=$(stat -c %s "$dll")
[ "$size" -le "$max" ] || fail "size is $size bytes, over the budget of $max"
# The entry point is load_entry.cpp's procedure, not the C runtime's stand-in: as the PDB or GNU ld's map places it.
entry=$(($(value AddressOfEntryPoint)))
if [ "${symbols##*.}" = pdb ]; then
  read -r name section offset < <(llvm-pdbutil-19 dump --symbols "$symbols" |
    sed -n '/S_OBJNAME.*load_entry\.cpp\.obj/,/S_END/p' | tr -d '\n' |
    sed -n 's/.*S_GPROC32[^`]*`\([^`]*\)`.* addr = 0*\([0-9]*\):\([0-9]*\),.*/\1 \2 \3/p')
  source "$(dirname "$0")/pe_sections.sh" && sections=$(sectionsOf "$dll") address=$(rvaIn "${section:-0}" "${offset:-0}")
else
  read -r address name < <(sed -n '/^ \.text .*load_entry\.cpp\.obj)$/,/^ \./{/^ \+0x/p}' "$symbols")
  address=$((${address:-0} - $(value ImageBase)))
fi
[ -n "$name" ] && [ "$address" = "$entry" ] ||
  fail "the entry point $(printf 0x%x $entry) is not the load entry ${name:-?} of load_entry.cpp"

# The floor: the version fields of both images, and every function they import.
for image in "$dll" "$host"; do
  "$readobj" --file-headers --coff-imports "$image" | awk -v arch="$arch" -v image="${image##*/}" '
    FILENAME != "-" { if ($1 == "floor" && $2 == arch) floor = $3
                      else if ($1 !~ /^#/ && ($4 == "all" || index("," $4 ",", "," arch ","))) since[$1 " " $2] = $3; next }
    /^ *M(aj|in)or(OperatingSystem|Subsystem)Version: / { fields = fields $2 (/Major/ ? "." : " ") }
    /^ *Name: / { module = tolower($2); sub(/\.dll$/, "", module) }
    /^ *Symbol: / { if (!((key = module " " $2) in since)) print "FAIL: " image " imports " key ", which imports.txt does not list for " arch
                    else if (since[key] != "every" && v(since[key]) > v(floor))
                      print "FAIL: " image " imports " key " of Windows " since[key] ", above the " arch " floor " floor }
    END { split(floor, f, "."); if (fields != f[1] "." f[2] " " f[1] "." f[2] " ")
            print "FAIL: " image " gives OS and subsystem versions " fields "for the floor " floor }
    function v(version, part) { split(version, part, "."); return part[1] * 1e9 + part[2] * 1e6 + part[3] }
  ' "$list" - | grep . && failed=1
done

[ $failed = 0 ] && echo "ok: $arch, exports getXtable only, imports [$imports], entry point $name, $size bytes" \
  "(budget $max); it and ${host##*/} need the floor of $arch and import only what Windows has there"
exit $failed
