#!/usr/bin/env bash
# One command for each thing a developer does; each installs what is missing
# (as root), configures, builds, and then:
#   ./build.sh demo   runs the demo host under Wine
#   ./build.sh test   runs every test under Wine
set -euo pipefail
cd "$(dirname "$0")"

what=${1:-}
case "$what" in
  demo|test) ;;
  *) echo "usage: $0 demo|test" >&2; exit 2 ;;
esac

tools/install-deps.sh
cmake --preset i686
cmake --build --preset i686 --parallel "$(nproc)"

case "$what" in
  demo) tools/demo.sh build/i686 ;;
  test) tools/run-tests.sh i686 ;;
esac
