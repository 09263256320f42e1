#!/usr/bin/env bash
# One command for each thing a developer does; each installs what is missing
# (as root), configures, builds, and then:
#   ./build.sh demo   runs the demo host under Wine
#   ./build.sh test   runs every test under Wine, against the 32-bit DLL and
#                     the 64-bit one
#   ./build.sh bench  runs the benchmarks of the 32-bit DLL under Wine
set -euo pipefail
cd "$(dirname "$0")"

what=${1:-}
case "$what" in
  demo|test|bench) ;;
  *) echo "usage: $0 demo|test|bench" >&2; exit 2 ;;
esac

tools/install-deps.sh

build() {
  cmake --preset "$1"
  cmake --build --preset "$1" --parallel "$(nproc)"
}

case "$what" in
  demo)
    build i686
    tools/demo.sh build/i686
    ;;
  test)
    build i686
    build x86_64
    tools/run-tests.sh i686 x86_64
    ;;
  bench)
    build i686
    tools/bench.sh build/i686
    ;;
esac
