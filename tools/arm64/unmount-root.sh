#!/usr/bin/env bash
# Unmounts whatever is mounted inside the arm64 root, deepest first.
# usage: unmount-root.sh ROOT
set -u
root=$(realpath -m "$1")
findmnt -rn -o TARGET | awk -v root="$root" 'index($0, root "/") == 1' | sort -r |
  while read -r target; do umount -l "$target"; done
exit 0
