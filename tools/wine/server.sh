#!/usr/bin/env bash
# Starts or stops the wineserver of a prefix, and with it Wine's background
# services. They inherit the stdio of whatever starts them, so they are
# started with all of it on /dev/null: a pipe held open by them would keep its
# reader (CTest, a log) waiting for the end of a run that has finished.
#
# usage: server.sh start|stop|check PREFIX ARCH
# WINE names the loader for the prefix's programs (default: wine), WINESERVER
# its server (default: wineserver). Where this machine cannot run the
# prefix's programs, each verb says why and exits 77, which the tests take
# for "skipped".
set -u
WINEPREFIX=$(realpath -m "$2")
export WINEPREFIX WINEDEBUG=-all
wine=${WINE:-wine}
"$(dirname "$0")/can-run.sh" "${3:-win32}" || exit 77
case "$1" in
  start)
    "${WINESERVER:-wineserver}" -p </dev/null >/dev/null 2>&1
    "$wine" wineboot </dev/null >/dev/null 2>&1
    ;;
  stop)
    "${WINESERVER:-wineserver}" -k </dev/null >/dev/null 2>&1
    ;;
  check) ;;
  *)
    echo "usage: $0 start|stop|check PREFIX ARCH" >&2
    exit 2
    ;;
esac
exit 0
