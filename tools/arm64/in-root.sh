#!/bin/sh
# Runs a program of the arm64 root (Debian's arm64 Wine) through qemu-user,
# in the current folder. The source tree (with the build trees in it) and /tmp
# are bound at the same paths inside the root, so that every path, the Wine
# prefix's and the Wine server's socket's among them, means the same there;
# /proc and /dev are the host's.
#
# The binds are made in a mount namespace of this call's own: the host never
# sees them, and they end with the last process that runs in it (a Wine
# server started here lives until the build's server is stopped). The root
# itself stays a plain folder, which can be removed whenever no test runs.
# No --fork: the program's exit status and its signals are this script's.
# usage: in-root.sh ROOT SOURCE_TREE PROGRAM [ARG...]
root=$1 tree=$2
shift 2
if ! unshare --mount true 2>/dev/null; then
  echo "in-root.sh: no mount namespace can be made here (unshare --mount fails)," \
       "so the arm64 root cannot be given /proc, /dev, /tmp and the source tree" >&2
  exit 1
fi
# shellcheck disable=SC2016 # the inner shell expands its own arguments
exec unshare --mount --propagation private /bin/sh -c '
  root=$1 tree=$2
  shift 2
  mount -t proc proc "$root/proc" || exit 1
  for dir in /dev /tmp "$tree"; do
    mkdir -p "$root$dir" || exit 1
    mount --rbind "$dir" "$root$dir" || exit 1
  done
  exec chroot "$root" /bin/sh -c "cd \"\$0\" && exec \"\$@\"" "$PWD" "$@"
' in-root.sh "$root" "$tree" "$@"
