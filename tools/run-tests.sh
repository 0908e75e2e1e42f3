#!/usr/bin/env bash
# Installs, builds and runs the whole test suite through CTest. Tests need no
# display: CTest runs them on Qt's offscreen platform.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${IMU_BUILD_DIR:-$here/build}
"$here/tools/build.sh"
cd "$build"
ctest --output-on-failure -j"$(nproc)"
