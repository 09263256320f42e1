#!/bin/sh
# Runs a program of the arm64 root (Debian's arm64 Wine) through qemu-user,
# in the current folder. The source tree (with the build trees in it) and /tmp
# are bound at the same paths inside the root, so that every path, the Wine
# prefix's among them, means the same there; /proc and /dev are the host's.
# usage: in-root.sh ROOT SOURCE_TREE PROGRAM [ARG...]
root=$1 tree=$2
shift 2
{
  flock 9
  mountpoint -q "$root/proc" || mount -t proc proc "$root/proc"
  for dir in /dev /tmp "$tree"; do
    mountpoint -q "$root$dir" || { mkdir -p "$root$dir" && mount --rbind "$dir" "$root$dir"; }
  done
} 9>"$root.lock"
exec chroot "$root" /bin/sh -c 'cd "$0" && exec "$@"' "$PWD" "$@"
