#!/usr/bin/env bash
# Runs every test of a coverage build and reports which lines and branches of
# the DLL they ran (gcov, through gcovr). The checks of the shipped image are
# left out: a coverage build is not the DLL that ships.
# usage: coverage.sh PRESET   (i686-coverage or x86_64-coverage)
set -uo pipefail
preset=$1
cpu=${preset%-coverage}
find "build/$preset" -name '*.gcda' -delete
ctest --preset "$preset" -E '^(dll_image|install_layout)$' >"build/$preset/ctest-output.txt" 2>&1
status=$?
tail -n 3 "build/$preset/ctest-output.txt"
gcovr --gcov-executable "$cpu-w64-mingw32-gcov" --root . --filter 'zibwin32/' \
      --object-directory "build/$preset/zibwin32" --branches --print-summary \
      --txt "build/$preset/coverage.txt" "build/$preset/zibwin32"
echo "line and branch counts of each file: build/$preset/coverage.txt"
exit $status
