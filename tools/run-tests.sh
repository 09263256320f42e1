#!/usr/bin/env bash
# Runs every test of configured builds with CTest, then shows what the
# hardening suites and the protection checks reported (build/PRESET/report.txt)
# and the counts of CTest's JUnit results, and ends with CTest's verdict.
#
# Builds that share a Wine prefix (build/PRESET/test-group, which CMake
# writes) run one after the other; the groups run side by side, each build's
# launcher keeping its programs and wineserver on the prefix's CPU. Each
# build's output goes to build/PRESET/ctest-output.txt.
# usage: run-tests.sh PRESET...
set -uo pipefail

run_group() {  # PRESET...
  for preset in "$@"; do
    rm -f "build/$preset/report.txt"
    ctest --preset "$preset" >"build/$preset/ctest-output.txt" 2>&1
    echo $? >"build/$preset/ctest-status"
  done
}

echo "running every test of $*, the builds of a Wine prefix one after the other" \
     "(3 to 4 minutes for all five)"
pids=()
while read -r group; do
  members=()
  for preset in "$@"; do
    if [ "$(cat "build/$preset/test-group")" = "$group" ]; then
      members+=("$preset")
    fi
  done
  run_group "${members[@]}" &
  pids+=($!)
done < <(for preset in "$@"; do cat "build/$preset/test-group"; done | sort -u)
wait "${pids[@]}"

status=0 passed=0 failed=0 skipped=0
for preset in "$@"; do
  echo "=== tests of the $preset build"
  cat "build/$preset/ctest-output.txt"
  [ "$(cat "build/$preset/ctest-status")" = 0 ] || status=1
done
for preset in "$@"; do
  echo
  echo "What the hardening suites and protection checks reported ($preset):"
  sed 's/^/  /' "build/$preset/report.txt" 2>/dev/null
  suite=$(tr '\n\t' '  ' <"build/$preset/junit.xml" | grep -o '<testsuite [^>]*>' | head -1)
  total=$(sed -n 's/.* tests="\([0-9]*\)".*/\1/p' <<<"$suite")
  failures=$(sed -n 's/.* failures="\([0-9]*\)".*/\1/p' <<<"$suite")
  skips=$(sed -n 's/.* skipped="\([0-9]*\)".*/\1/p' <<<"$suite")
  if [ -z "$total" ] || [ -z "$failures" ]; then
    total=1 failures=1 status=1
  fi
  skips=${skips:-0}
  echo "  CTest ($preset): $((total - failures - skips)) of $total tests passed, $skips skipped"
  passed=$((passed + total - failures - skips))
  failed=$((failed + failures))
  skipped=$((skipped + skips))
done
# What could not run on this machine, and why, stands at the end, where it is read.
for preset in "$@"; do
  why=$(tools/wine/can-run.sh "$(cat "build/$preset/wine-arch")" 2>&1) ||
    echo "NOT RUN: the $preset build's tests under Wine: $why"
done
echo
echo "the tests took $SECONDS s"
echo "ctest: $passed passed, $failed failed, $skipped skipped"
exit "$status"
