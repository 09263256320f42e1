#!/usr/bin/env bash
# Checks that a DLL and its PDB belong together, as a Windows debugger checks
# it: the DLL's CodeView debug directory names the PDB by its bare file name
# and carries the PDB's GUID and age; the DLL holds no DWARF of its own; the
# PDB knows the export by name.
#
# usage: symbols.sh DLL PDB
set -u
dll=$1 pdb=$2
failed=0
fail() { echo "FAIL: $*"; failed=1; }
readobj=llvm-readobj-19 pdbutil=llvm-pdbutil-19 objdump=llvm-objdump-19

directory=$("$readobj" --coff-debug-directory "$dll") || { echo "FAIL: cannot read $dll"; exit 1; }
name=$(sed -n 's/^ *PDBFileName: //p' <<<"$directory")
[ "$name" = "$(basename "$pdb")" ] || fail "the DLL names the PDB [$name], not $(basename "$pdb")"
dllGuid=$(sed -n 's/^ *PDBGUID: {\(.*\)}/\1/p' <<<"$directory")
dllAge=$(sed -n 's/^ *PDBAge: //p' <<<"$directory")

summary=$("$pdbutil" dump --summary "$pdb") || { echo "FAIL: cannot read $pdb"; exit 1; }
pdbGuid=$(sed -n 's/^ *GUID: {\(.*\)}/\1/p' <<<"$summary")
pdbAge=$(sed -n 's/^ *Age: //p' <<<"$summary")
[ "${dllGuid^^}" = "${pdbGuid^^}" ] || fail "GUIDs differ: DLL $dllGuid, PDB $pdbGuid"
[ -n "$dllAge" ] && [ "$dllAge" = "$pdbAge" ] || fail "ages differ: DLL $dllAge, PDB $pdbAge"

"$objdump" -h "$dll" | grep -q '\.debug' && fail "the DLL carries DWARF sections"
"$pdbutil" dump --publics "$pdb" | grep -q '`_\?getXtable`' || fail "the PDB has no public getXtable"

[ $failed = 0 ] && echo "ok: $(basename "$dll") names $name, GUID {$pdbGuid} age $pdbAge, no DWARF"
exit $failed
