#!/usr/bin/env bash
# Installs what is missing and builds imu-monitor into build/ (or $IMU_BUILD_DIR).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${IMU_BUILD_DIR:-$here/build}

"$here/tools/install-deps.sh"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
