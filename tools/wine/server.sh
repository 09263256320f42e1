#!/usr/bin/env bash
# Starts or stops the wineserver of a prefix, and with it Wine's background
# services. They inherit the stdio of whatever starts them, so they are
# started with all of it on /dev/null: a pipe held open by them would keep its
# reader (CTest, a log) waiting for the end of a run that has finished.
#
# usage: server.sh start|stop PREFIX
# WINE names the loader for the prefix's programs (default: wine).
set -u
export WINEPREFIX=$(realpath -m "$2") WINEDEBUG=-all
wine=${WINE:-wine}
case "$1" in
  start)
    wineserver -p </dev/null >/dev/null 2>&1
    "$wine" wineboot </dev/null >/dev/null 2>&1
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1
    ;;
  *)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
exit 0
