#!/usr/bin/env bash
# Installs, builds and starts the monitor: only the monitor and imu-sim are
# built, so the first window comes quickly (tools/run-tests.sh builds the
# rest). It runs from the repository's top folder, which holds logo.png,
# readme.txt and the logs/ folder that the settings dialog offers as the
# log directory.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/tools/build.sh" imu-monitor imu-sim
cd "$here"
mkdir -p logs
exec "${IMU_BUILD_DIR:-$here/build}/app/imu-monitor" "$@"
