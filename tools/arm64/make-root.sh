#!/usr/bin/env bash
# Makes the arm64 Debian root in which Debian's arm64 Wine runs the programs
# of the arm64 build, through qemu-user and binfmt_misc (tools/arm64/in-root.sh).
# A root left half made is made again; ROOT/.ready, which names what it holds,
# marks a finished one.
# usage: make-root.sh ROOT
set -euo pipefail
root=$1
release=bookworm
want="debian $release arm64, wine and wine64 from its archive"
[ -f "$root/.ready" ] && [ "$(cat "$root/.ready")" = "$want" ] && exit 0

echo "arm64 root: making it in $root (4 to 8 minutes)" >&2
mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)
mirror=${mirror:-http://deb.debian.org/debian}
# A root is only ever removed with nothing mounted inside it: a removal that
# went through a bind mount of the build tree would empty the work tree.
"$(dirname "$0")/unmount-root.sh" "$root" || exit 1
rm -rf --one-file-system "$root"
mkdir -p "$root"
log=$root.log
# Everything goes to the log, but for what the stages say on the terminal (3).
exec 3>&2 >"$log" 2>&1
fail() { tail -20 "$log" >&3; exit 1; }
reached() { echo "arm64 root: $* at $SECONDS s" >&3; }
debootstrap --arch=arm64 --variant=minbase "$release" "$root" "$mirror" || fail
reached "an arm64 Debian $release made"
cp /etc/resolv.conf "$root/etc/resolv.conf"
chroot "$root" apt-get update -q || fail
chroot "$root" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -q --no-install-recommends wine wine64 || fail
chroot "$root" apt-get clean
reached "Wine installed in it"
echo "$want" >"$root/.ready"
