#!/usr/bin/env bash
# Unmounts whatever is mounted inside the arm64 root, deepest first, and says
# what: the binds that earlier test beds made in the host's own mount
# namespace and never ended (a run's binds now live in a namespace of the
# run's own, in-root.sh). Fails if anything is still mounted there after.
# usage: unmount-root.sh ROOT
set -u
root=$(realpath -m "$1")
# A path sorts after every path it begins, so the reverse order is deepest first.
mountsIn() {
  findmnt -rn -o TARGET | awk -v root="$root" 'index($0, root "/") == 1' | LC_ALL=C sort -r
}
mounts=$(mountsIn)
[ -z "$mounts" ] && exit 0
echo "arm64 root: unmounting what an earlier test bed left mounted in it, deepest first:" \
     "$(paste -sd ' ' <<<"$mounts")"
while read -r target; do
  umount -l "$target"
done <<<"$mounts"
left=$(mountsIn)
if [ -n "$left" ]; then
  echo "arm64 root: still mounted in $root: $(paste -sd ' ' <<<"$left")" >&2
  exit 1
fi
