#!/usr/bin/env bash
# One command for each thing a developer does; each installs what is missing
# (as root), configures, builds, and then:
#   ./build.sh demo     runs the demo host under Wine
#   ./build.sh test     writes the release archive and checks it, then runs
#                       every test under Wine, against the 32-bit and the
#                       64-bit DLL of each compiler (gcc, clang)
#   ./build.sh release  the same for the clang builds alone, which ship:
#                       tests them and writes dist/zibwin32-VERSION-windows.zip
#   ./build.sh bench    runs the benchmarks of the 32-bit DLL under Wine
set -euo pipefail
cd "$(dirname "$0")"

what=${1:-}
case "$what" in
  demo|test|release|bench) ;;
  *) echo "usage: $0 demo|test|release|bench" >&2; exit 2 ;;
esac

tools/install-deps.sh

build() {
  cmake --preset "$1"
  cmake --build --preset "$1" --parallel "$(nproc)"
}

# The archive of the clang builds, written and unpacked again to be checked.
release_archive() {
  local archive
  archive=$(tools/release.sh i686-clang x86_64-clang)
  tools/check-release.sh "$archive" i686-clang x86_64-clang
}

case "$what" in
  demo)
    build i686
    tools/demo.sh build/i686
    ;;
  test)
    for preset in i686 x86_64 i686-clang x86_64-clang; do build $preset; done
    # The archive holds the very files the suites then run against; the
    # suites' counts close the output.
    release_archive
    tools/run-tests.sh i686 x86_64 i686-clang x86_64-clang
    ;;
  release)
    for preset in i686-clang x86_64-clang; do build $preset; done
    tools/run-tests.sh i686-clang x86_64-clang
    release_archive
    ;;
  bench)
    build i686
    tools/bench.sh build/i686
    ;;
esac
