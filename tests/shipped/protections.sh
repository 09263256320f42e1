#!/usr/bin/env bash
# Checks the protections that a host's security review checks of a DLL it
# loads, the way BinSkim reports its rules (the BinSkim rule where there is
# one): one row per protection, and a failing status when one is missing.
# The rows go to the file that ZIBWIN32_REPORT names too, for the test command.
#
# usage: protections.sh DLL PDB
set -u
dll=$1 pdb=$2
readobj=llvm-readobj-19 objdump=llvm-objdump-19 pdbutil=llvm-pdbutil-19
failed=0

headers=$("$readobj" --file-headers --coff-load-config --coff-debug-directory "$dll") ||
  { echo "FAIL: cannot read $dll"; exit 1; }
code=$("$objdump" -d --no-show-raw-insn "$dll")
arch=x86
grep -q '^Arch: x86_64' <<<"$headers" && arch=x64
grep -q '^Arch: aarch64' <<<"$headers" && arch=arm64
# The instructions that call: call on x86 and x64, bl and blr on arm64.
calls='\(call[lq]\?\|blr\?\)'
source "$(dirname "$0")/pe_sections.sh"
sections=$(sectionsOf "$dll")
has() { grep -q -- "$1" <<<"$headers"; }
value() { sed -n "s/^ *$1: \\(0x[0-9A-Fa-f]*\\|[0-9]*\\).*/\\1/p" <<<"$headers" | head -1; }
row() {  # ID RULE APPLIES OK DETAIL   (APPLIES n/a: the row says so, with DETAIL)
  local result=pass
  [ "$3" != n/a ] || { set -- "$1" "$2" 1 1 "$5"; result=n/a; }
  # A row that does not apply to arm64 says so there; x86 and x64 leave it out.
  [ "$3" = 1 ] || [ $arch != arm64 ] || { set -- "$1" "$2" 1 1 "does not apply to arm64"; result=n/a; }
  [ "$3" = 1 ] || return 0
  [ "$4" = 1 ] || { result=FAIL; failed=1; }
  printf '%-6s %-38s %-3s %-4s %s\n' "$1" "$2" "$arch" "$result" "$5" | tee -a "${ZIBWIN32_REPORT:-/dev/null}"
}
yes() { "$@" && echo 1 || echo 0; }

base=$(value ImageBase)
publics=$("$pdbutil" dump --publics "$pdb")
addressOf() {  # NAME (a pattern): the address of the public symbol of that name, if any
  set -- $(grep -A1 "\`$1\`" <<<"$publics" | sed -n 's/.*addr = 0*\([0-9]*\):\([0-9]*\).*/\1 \2/p')
  [ $# = 2 ] && echo $((base + $(rvaIn "$1" "$2")))
}
# The loader sets the guard's check pointer, and on x64 its dispatch pointer,
# to its own functions through the addresses that the load configuration
# holds: each must name the module's own slot, or the loader writes elsewhere
# and calls go unchecked. The compiler calls through a dispatch slot on x64
# alone; elsewhere it only checks, and the record names no dispatch slot.
fids=$(value GuardCFFunctionCount)
# Windows marks valid targets by the 16 bytes they lie in: each target starts them.
unaligned=$(sed -n '/^GuardFidTable \[/,/\]/s/^ *0x\([0-9A-F]*[1-9A-F]\)$/\1/p' <<<"$headers" | wc -l)
checkSlot=$(addressOf '_*__guard_check_icall_fptr')
dispatchSlot=0
[ $arch = x64 ] && dispatchSlot=$(addressOf __guard_dispatch_icall_fptr)
row BA2008 EnableControlFlowGuard 1 \
  "$(yes eval 'has GUARD_CF && has "CF_INSTRUMENTED" && has CF_FUNCTION_TABLE_PRESENT && [ "${fids:-0}" -gt 0 ] &&
     [ "$unaligned" = 0 ] && [ -n "$checkSlot" ] && [ $(($(value GuardCFCheckFunction))) = "$checkSlot" ] &&
     [ -n "$dispatchSlot" ] && [ $(($(value GuardCFCheckDispatch))) = "$dispatchSlot" ]')" \
  "GUARD_CF, calls checked, ${fids:-no} valid call targets ($unaligned not 16-byte aligned), the check$([ $arch = x64 ] &&
   echo " and dispatch") pointer naming the module's slot"
row BA2009 EnableAddressSpaceLayoutRandomization 1 \
  "$(yes eval 'has DYNAMIC_BASE && ! has RELOCS_STRIPPED && [ "$(value BaseRelocationTableSize)" != 0x0 ]')" \
  "DYNAMIC_BASE, relocations kept"
row BA2001 LoadImageAboveFourGigabyteAddress "$(yes [ $arch != x86 ])" \
  "$(yes [ $((base)) -ge $((0x100000000)) ])" "image base $base"
row BA2015 EnableHighEntropyVirtualAddresses "$(yes [ $arch != x86 ])" \
  "$(yes eval 'has HIGH_ENTROPY_VA && has LARGE_ADDRESS_AWARE')" "HIGH_ENTROPY_VA"
row BA2016 MarkImageAsNXCompatible 1 "$(yes has NX_COMPAT)" "NX_COMPAT"
imports=$(sectionAt $(($(value ImportTableRVA))))
row BA2010 DoNotMarkImportsSectionAsExecutable 1 "$(yes eval '! grep -q EXECUTE <<<"$imports"')" \
  "imports in ${imports%% *}"
row BA2021 DoNotMarkWritableSectionsAsExecutable 1 \
  "$(yes eval '! grep -q "WRITE EXECUTE" <<<"$sections"')" "no section both writable and executable"
row BA2019 DoNotMarkWritableSectionsAsShared 1 \
  "$(yes eval '! grep -q "WRITE.*SHARED" <<<"$sections"')" "no section both writable and shared"

# The cookie: what the load configuration points at, in writable data, with
# the value that the loader replaces; and the functions that check it.
cookie=$(value SecurityCookie)
cookieSection=$(sectionAt $((cookie - base)))
if [ $arch = x86 ]; then width=4; else width=8; fi
default=$(sed -n "s/.*defaultCookie$((width * 8)) = 0x0*\([0-9A-F]*\).*/\L\1/p" "$(dirname "$0")/../../zibwin32/entry/load_config_layout.h")
set -- $cookieSection
stored=$(od -An -tx1 -j "${2:-0}" -N $width "$dll" | awk '{ for (i = NF; i > 0; i--) printf "%s", $i }')
row BA2012 DoNotModifyStackProtectionCookie 1 \
  "$(yes eval 'grep -q WRITE <<<"$cookieSection" && [ "${stored#0000}" = "$default" ]')" \
  "cookie in ${cookieSection%% *} at the default value, made random by the loader"
fail=$(addressOf '_*__stack_chk_fail')
checks=0
[ -n "$fail" ] && checks=$(grep -c "$calls\s\+0x$(printf '%x' "$fail")\b" <<<"$code")
row BA2011 EnableStackProtection 1 "$(yes [ "$checks" -gt 0 ])" \
  "$checks functions with buffers on the stack check the cookie"

row BA2025 EnableShadowStack "$(yes [ $arch != arm64 ])" "$(yes has CET_COMPAT)" "CET_COMPAT"
row BA2018 EnableSafeSEH "$(yes [ $arch = x86 ])" \
  "$(yes eval 'has NO_SEH && ! grep -q "%fs:" <<<"$code"')" "NO_SEH, and no code touches the exception list"
row "-" LoadDependenciesFromSystem32 1 "$(yes [ "$(value DependentLoadFlags)" = 0x800 ])" \
  "DependentLoadFlags LOAD_LIBRARY_SEARCH_SYSTEM32"
# Every call lies inside a function that has unwind data: stack walks and
# exception dispatch find every frame.
# x64 gives each function's start and end, arm64 its start and length.
uncovered=0
if [ $arch != x86 ]; then
  ranges=$("$readobj" --unwind "$dll" | sed -n 's/.*\(Start\|End\)Address: (0x\(.*\))/\2/p' | paste - -)
  [ $arch = arm64 ] && ranges=$("$readobj" --unwind "$dll" | while read -r key value _; do
    case $key in
      Function:) start=$((value)) ;;
      FunctionLength:) [ -n "$start" ] && printf '%x %x\n' "$start" $((start + value)); start= ;;
    esac
  done)
  uncovered=$(sed -n "s/^ *\([0-9a-f]\+\):\s\+$calls\s.*/\1/p" <<<"$code" | while read -r at; do
    covered=0
    while read -r start end; do
      [ $((16#$start)) -le $((16#$at)) ] && [ $((16#$at)) -lt $((16#$end)) ] && covered=1
    done <<<"$ranges"
    [ $covered = 1 ] || echo "$at"
  done | wc -l)
fi
sites=$(grep -c "^ *[0-9a-f]\+:\s\+$calls\s" <<<"$code")
row "-" ProvideUnwindData "$(yes [ $arch != x86 ])" "$(yes [ "$uncovered" -eq 0 ] && [ "$sites" -gt 0 ])" \
  "every call inside a function with unwind data ($uncovered of $sites outside)"
digests=$(osslsigncode verify -in "$dll" 2>/dev/null | sed -n 's/^\(Message digest\|Page hash\) algorithm *: /\L\1 /p' | sort -u | paste -sd,)
row BA2022 SignSecurely "$([ -n "$digests" ] && echo 1 || echo n/a)" "$(yes [ "$digests" = "message digest SHA256,page hash SHA256" ])" \
  "${digests:-unsigned: a release is signed where its maintainer names a certificate}"
exit $failed
