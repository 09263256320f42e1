#!/usr/bin/env bash
# Sets up what the arm64 build needs on this machine, once: its runtime and
# the arm64 Debian root that runs its programs, made side by side in the cache
# folder, and qemu-user registered with binfmt_misc for arm64 programs. Stops
# with a message that names what is missing where it cannot.
# usage: setup.sh [CACHE]   (default: $ZIBWIN32_ARM64_CACHE, else /var/cache/zibwin32-arm64)
set -uo pipefail
cache=${1:-${ZIBWIN32_ARM64_CACHE:-/var/cache/zibwin32-arm64}}
here=$(dirname "$0")
missing() { echo "the arm64 test bed cannot be set up: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] ||
  missing "it needs root, to make its Debian root (debootstrap, chroot)," \
          "to register qemu with binfmt_misc and to give the root the trees it runs in"
qemu=$(cut -d: -f7 /usr/lib/binfmt.d/qemu-aarch64.conf 2>/dev/null)
if [ -z "$qemu" ] || [ ! -x "$qemu" ]; then
  missing "no qemu for arm64 programs (Debian's qemu-user-static)"
fi
binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e $binfmt/register ] && ! mount -t binfmt_misc binfmt_misc $binfmt 2>/dev/null; then
  missing "no binfmt_misc: the kernel cannot hand arm64 programs to qemu"
fi
entry=/usr/lib/binfmt.d/qemu-aarch64.conf
if [ ! -e $binfmt/qemu-aarch64 ] && ! cat $entry >$binfmt/register 2>/dev/null; then
  missing "no binfmt_misc entry for arm64 programs, and none could be registered"
fi
grep -qx enabled $binfmt/qemu-aarch64 ||
  missing "binfmt_misc's entry for arm64 programs is disabled"
unshare --mount true 2>/dev/null ||
  missing "no mount namespace can be made here (unshare --mount fails)," \
          "and each run's mounts need one"

mkdir -p "$cache"
# A root is used, and made again, only with nothing mounted inside it.
"$here/unmount-root.sh" "$cache/root" || missing "$cache/root still has mounts inside it"
start=$SECONDS
"$here/make-runtime.sh" "$cache/runtime" &
runtime=$!
"$here/make-root.sh" "$cache/root" &
root=$!
wait $runtime || missing "the runtime could not be built (see $cache/runtime.log)"
wait $root || missing "the root could not be made (see $cache/root.log)"
chroot "$cache/root" /bin/true || missing "arm64 programs do not run in $cache/root"
if [ $((SECONDS - start)) -gt 1 ]; then
  echo "set up the arm64 runtime and root in $cache in $((SECONDS - start)) s"
fi
exit 0
