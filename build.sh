#!/usr/bin/env bash
# One command for each thing a developer does. Every word takes its steps in
# one order, leaving out those it has no need of: install what is missing (as
# root), configure and build, run the tests under Wine, ship:
#   ./build.sh demo            builds the 32-bit gcc DLL, runs the demo host
#                              (the 64-bit one where 32-bit programs cannot run)
#   ./build.sh quick [PRESET]  builds one build (i686 unless named), runs its
#                              quick tier
#   ./build.sh test            builds all five DLLs (x86 and x64 with gcc and
#                              with clang, arm64 with clang), runs every test
#                              of each, then writes the release archive and
#                              checks it
#   ./build.sh release         the same for the three clang builds, which ship
#   ./build.sh coverage [ARCH] builds the i686 (or x86_64) DLL to record its
#                              coverage, runs the tests, reports with gcovr
#   ./build.sh bench           builds the 32-bit gcc DLL (or, as for the demo,
#                              the 64-bit one), runs the benchmarks
set -euo pipefail
cd "$(dirname "$0")"

what=${1:-}
case "$what" in
  demo|quick|test|release|coverage|bench) ;;
  *) echo "usage: $0 demo|quick [PRESET]|test|release|coverage [i686|x86_64]|bench" >&2; exit 2 ;;
esac

tools/install-deps.sh

# Configures the presets, makes their Wine prefixes in the background (mostly
# writing files), and builds them one after the other, each with every CPU:
# side by side, builds this size take longer on a 2-core machine. A build's
# output goes to build/PRESET/build-output.txt and is shown when it fails.
build() {
  local preset start=$SECONDS prefixes=()
  echo "building $*, one after the other (about a minute each the first time)"
  for preset in "$@"; do
    mkdir -p "build/$preset"
    cmake --preset "$preset" >"build/$preset/build-output.txt" 2>&1 ||
      { cat "build/$preset/build-output.txt"; return 1; }
  done
  for preset in "$@"; do
    "build/$preset/wine-prefix" >/dev/null 2>&1 &
    prefixes+=($!)
  done
  for preset in "$@"; do
    cmake --build --preset "$preset" --parallel "$(nproc)" \
      >>"build/$preset/build-output.txt" 2>&1 ||
      { echo "=== the $preset build failed:"; cat "build/$preset/build-output.txt"; return 1; }
    echo "built $preset at $((SECONDS - start)) s"
  done
  wait "${prefixes[@]}"
}

# The build that the demo and the benchmarks run: the 32-bit one, unless this
# machine cannot run 32-bit programs, when the 64-bit one stands in for it.
shown_build() {
  if tools/wine/can-run.sh win32; then
    echo i686
  else
    echo "so the 64-bit build runs instead" >&2
    echo x86_64
  fi
}

# The archive of the clang builds, written into dist/ (signed where the
# maintainer names a certificate: tools/sign.sh), unpacked and checked, with
# hosts that link it; then one signed with the tests' own certificates (a PKI
# made afresh in build/signing/pki), in build/signing, checked the same way.
shipped=(i686-clang x86_64-clang aarch64-clang)
release_archive() {
  local archive
  echo "writing the release archive, unsigned and signed, and checking both (about a minute)"
  archive=$(tools/release.sh "${shipped[@]}")
  check_archive "$archive" tests/shipped/linked_hosts_test.py
  archive=$(signed_release build/signing)
  check_archive "$archive"
}
check_archive() {  # ARCHIVE [MORE_CHECKS...]
  /usr/bin/python3 -B -m pytest tests/shipped/release_archive_test.py "${@:2}" \
    --archive "$1" --presets "${shipped[@]}"
}
signed_release() (  # FOLDER: signs with the test PKI alone, whatever this shell names
  unset "${!ZIBWIN32_SIGN_@}"
  mapfile -t signing < <(/usr/bin/python3 -B tests/shipped/signing/pki.py "$1/pki")
  [ ${#signing[@]} -gt 0 ] || exit 1
  env "${signing[@]}" tools/release.sh --out "$1" "${shipped[@]}"
)

case "$what" in
  demo)
    preset=$(shown_build)
    build "$preset"
    tools/demo.sh "build/$preset"
    ;;
  quick)
    preset=${2:-i686}
    [ "$preset" = aarch64-clang ] && tools/arm64/setup.sh
    build "$preset"
    ctest --preset "$preset" -L quick
    ;;
  test)
    tools/arm64/setup.sh
    build i686 x86_64 "${shipped[@]}"
    tools/run-tests.sh i686 x86_64 "${shipped[@]}"
    release_archive
    ;;
  release)
    tools/arm64/setup.sh
    build "${shipped[@]}"
    tools/run-tests.sh "${shipped[@]}"
    release_archive
    ;;
  coverage)
    preset=${2:-$(shown_build)}-coverage
    build "$preset"
    tools/coverage.sh "$preset"
    ;;
  bench)
    preset=$(shown_build)
    build "$preset"
    tools/bench.sh "build/$preset"
    ;;
esac
echo "build.sh $what: done in $SECONDS s"
