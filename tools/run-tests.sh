#!/usr/bin/env bash
# Runs every test of configured builds with CTest, then shows the counts the
# hardening suites report, and ends with CTest's verdict for all of them.
# usage: run-tests.sh PRESET...
set -uo pipefail
status=0
passed=0 failed=0
for preset in "$@"; do
  build=build/$preset
  echo "=== tests of the $preset build"
  ctest --preset "$preset" | tee "$build/ctest-output.txt"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
done
for preset in "$@"; do
  build=build/$preset
  echo
  echo "What the hardening suites counted ($preset):"
  grep -h '^hardening:' "$build/Testing/Temporary/LastTest.log" | sed 's/^hardening: /  /'
  summary=$(grep -E '^[0-9]+% tests passed' "$build/ctest-output.txt")
  echo "  CTest ($preset): $summary"
  total=$(sed -n 's/.* out of \([0-9]*\).*/\1/p' <<<"$summary")
  bad=$(sed -n 's/.* \([0-9]*\) tests failed.*/\1/p' <<<"$summary")
  passed=$((passed + ${total:-0} - ${bad:-0}))
  failed=$((failed + ${bad:-0}))
done
echo
echo "ctest: $passed passed, $failed failed"
exit "$status"
