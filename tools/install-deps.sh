#!/usr/bin/env bash
# Installs what the build and the tests need on Debian, if anything is missing.
# As root it installs; otherwise it names the missing packages and stops.
set -euo pipefail

# 32-bit DLL (the product) and 64-bit DLL, each tested under its own Wine;
# each built by gcc and by clang with lld 19 (the release, with PDBs and the
# binary protections: llvm reads and strips them), and the sources checked
# by clang-tidy; the release is a zip archive; gcovr reports a coverage build.
# The arm64 DLL's runtime is built from Debian's sources, and its programs run
# in an arm64 Debian root (debootstrap) through qemu-user and binfmt_misc.
# The release signs with osslsigncode, through a PKCS#11 token where one
# holds the key; its tests make their certificates with openssl, their token
# with SoftHSM2 and run a time-stamp authority in python3. The checks written
# in Python read PE images with pefile and run under pytest; lint is shellcheck,
# flake8 and clang-format.
packages=(cmake make g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 googletest
          clang-19 lld-19 llvm-19 clang-tidy-19 git zip gcovr
          qemu-user-static binfmt-support debootstrap
          osslsigncode openssl softhsm2 libengine-pkcs11-openssl python3 python3-pytest
          python3-pefile shellcheck flake8 clang-format-19)

installed() {
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = installed ]
}

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]}" >&2
  echo "install them as root (wine32 needs 'dpkg --add-architecture i386' first)," \
       "or run this as root" >&2
  exit 1
fi

echo "installing: ${missing[*]} (a few minutes on a new machine)"
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt-get update -q
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
