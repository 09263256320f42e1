#!/usr/bin/env bash
# Runs every test of configured builds with CTest, then shows the counts the
# hardening suites report, and ends with CTest's verdict for all of them.
#
# Builds that share a Wine prefix run one after the other, in a group; the
# groups run side by side, each pinned to a CPU of its own with its
# wineserver: under Wine most platform calls are round trips to the server,
# and a round trip between two cores costs several times one on the same
# core. Each build's output goes to build/PRESET/ctest-output.txt.
# usage: run-tests.sh PRESET...
set -uo pipefail
presets=("$@")
cpus=$(nproc)

run_group() {  # CPU PRESET...
  local cpu=$1 preset
  shift
  for preset in "$@"; do
    taskset -c "$cpu" ctest --preset "$preset" >"build/$preset/ctest-output.txt" 2>&1
    echo $? >"build/$preset/ctest-status"
  done
}

prefixOf() { sed -n 's/.*WINEPREFIX="\([^"]*\)".*/\1/p' "build/$1/wine-run"; }
groups=() pids=()
for preset in "${presets[@]}"; do groups+=("$(prefixOf "$preset")"); done
mapfile -t prefixes < <(printf '%s\n' "${groups[@]}" | sort -u)
cpu=0
for prefix in "${prefixes[@]}"; do
  group=()
  for i in "${!presets[@]}"; do [ "${groups[i]}" = "$prefix" ] && group+=("${presets[i]}"); done
  run_group $((cpu % cpus)) "${group[@]}" &
  pids+=($!)
  cpu=$((cpu + 1))
done
wait "${pids[@]}"

status=0 passed=0 failed=0
for preset in "${presets[@]}"; do
  echo "=== tests of the $preset build"
  cat "build/$preset/ctest-output.txt"
  [ "$(cat "build/$preset/ctest-status")" = 0 ] || status=1
done
for preset in "${presets[@]}"; do
  build=build/$preset
  echo
  echo "What the hardening suites counted ($preset):"
  grep -h '^hardening:' "$build/Testing/Temporary/LastTest.log" | sed 's/^hardening: /  /'
  protections=$(grep -h '^protection:' "$build/Testing/Temporary/LastTest.log")
  [ -z "$protections" ] || printf 'What the protection checks found (%s):\n%s\n' "$preset" \
    "$(sed 's/^protection: /  /' <<<"$protections")"
  summary=$(grep -E '^[0-9]+% tests passed' "$build/ctest-output.txt")
  echo "  CTest ($preset): $summary"
  total=$(sed -n 's/.* out of \([0-9]*\).*/\1/p' <<<"$summary")
  bad=$(sed -n 's/.* \([0-9]*\) tests failed.*/\1/p' <<<"$summary")
  passed=$((passed + ${total:-0} - ${bad:-0}))
  failed=$((failed + ${bad:-0}))
done
echo
echo "ctest: $passed passed, $failed failed, in $SECONDS s"
exit "$status"
