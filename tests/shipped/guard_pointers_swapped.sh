#!/usr/bin/env bash
# The protections check refuses a DLL whose load configuration holds the
# guard's check pointer and dispatch pointer the wrong way round: the image
# still claims Control Flow Guard, but the loader would set the wrong slots.
# usage: guard_pointers_swapped.sh DLL PDB
set -u
dll=$1 pdb=$2 work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$dll" "$work/zibwin32.dll"
readobj=llvm-readobj-19
rva=$(($("$readobj" --file-headers "$dll" | sed -n 's/^ *LoadConfigTableRVA: //p')))
# The file offset of the record, from the section that holds it.
source "$(dirname "$0")/pe_sections.sh"
sections=$(sectionsOf "$dll")
set -- $(sectionAt "$rva")
offset=$2
# GuardCFCheckFunctionPointer and the dispatch pointer after it, by the format.
if "$readobj" --file-headers "$dll" | grep -q '^Arch: i386'; then at=0x48 width=4; else at=0x70 width=8; fi
check=$((offset + at)) dispatch=$((offset + at + width))
dd if="$dll" of="$work/zibwin32.dll" bs=1 skip=$check seek=$dispatch count=$width conv=notrunc 2>/dev/null
dd if="$dll" of="$work/zibwin32.dll" bs=1 skip=$dispatch seek=$check count=$width conv=notrunc 2>/dev/null
row=$(ZIBWIN32_REPORT= "$(dirname "$0")/protections.sh" "$work/zibwin32.dll" "$pdb" | grep '^BA2008')
echo "with the pointers swapped: $row"
grep -q ' FAIL ' <<<"$row"
