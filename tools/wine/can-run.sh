#!/bin/sh
# Tells whether this machine can run the programs of a Wine prefix of the
# given kind: exits 0 if it can, else names why on stderr and exits 1.
#
# 32-bit Wine is itself a 32-bit x86 Linux program, and a kernel may refuse
# those: Linux 6.7 and later can be booted with 32-bit emulation off
# (ia32_emulation=off, or built so by default), and then no 32-bit process
# starts, nor any 32-bit code inside a 64-bit one, so Wine's WoW64 mode
# cannot stand in either. The 32-bit dynamic loader, which Wine's 32-bit part
# brings, is the smallest 32-bit program to ask.
#
# usage: can-run.sh win32|win64
case "$1" in
  win32)
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 && exit 0
    echo "this machine cannot run 32-bit x86 programs, so neither 32-bit Wine nor the" \
         "32-bit tests: its kernel refuses them (32-bit emulation is off; Linux's boot" \
         "option ia32_emulation=on turns it on)" >&2
    exit 1
    ;;
  *) exit 0 ;;
esac
