# The sections of a PE image, for the checks that read an image by hand;
# sourced, not run.

# sectionsOf DLL: one line a section: name, first and last address (RVA),
# where it lies in the file, and which of WRITE, EXECUTE and SHARED it is.
sectionsOf() {
  llvm-readobj-19 --sections "$1" | while read -r key rest; do
    case $key in
      Name:) name=${rest%% *} flags= ;;
      VirtualSize:) size=$((rest)) ;;
      VirtualAddress:) va=$((rest)) ;;
      PointerToRawData:) raw=$((rest)) ;;
      IMAGE_SCN_MEM_WRITE | IMAGE_SCN_MEM_EXECUTE | IMAGE_SCN_MEM_SHARED) flags+=" ${key#IMAGE_SCN_MEM_}" ;;
      '}') [ -n "${name:-}" ] && echo "$name $va $((va + size - 1)) $raw$flags"; name= ;;
    esac
  done
}

# rvaIn SECTION OFFSET: the RVA of a place a PDB gives as a section of $sections and an offset.
rvaIn() { echo $(($(sed -n "${1}p" <<<"$sections" | cut -d' ' -f2) + 10#$2)); }
# sectionAt RVA: of the sections in $sections, the one that holds RVA, where
# RVA lies in the file, and the section's flags.
sectionAt() {
  while read -r name first last raw flags; do
    [ "$first" -le "$1" ] && [ "$1" -le "$last" ] && echo "$name $((raw + $1 - first)) $flags"
  done <<<"$sections"
}
