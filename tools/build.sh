#!/usr/bin/env bash
# Installs what is missing and builds imu-monitor into build/ (or
# $IMU_BUILD_DIR): the targets named, or everything when none is.
#
#   tools/build.sh                    # the monitor, imu-sim, tests, benchmarks
#   tools/build.sh imu-monitor imu-sim
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${IMU_BUILD_DIR:-$here/build}

"$here/tools/install-deps.sh"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=()
for target in "$@"; do
  targets+=(--target "$target")
done
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
