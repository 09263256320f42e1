#!/usr/bin/env bash
# Runs every test of a configured build with CTest, then shows the counts the
# hardening suites report, and ends with CTest's verdict.
# usage: run-tests.sh PRESET
set -uo pipefail
preset=$1
build=build/$preset
ctest --preset "$preset" | tee "$build/ctest-output.txt"
status=${PIPESTATUS[0]}
echo
echo "What the hardening suites counted:"
grep -h '^hardening:' "$build/Testing/Temporary/LastTest.log" | sed 's/^hardening: /  /'
echo
grep -E '^[0-9]+% tests passed' "$build/ctest-output.txt"
exit "$status"
