#!/usr/bin/env bash
# Installs, builds and starts the monitor: only the monitor is built, so the
# first window comes quickly (tools/run-sim.sh builds the simulator,
# tools/run-tests.sh everything). It runs from the repository's top folder, which holds logo.png,
# readme.txt and the logs/ folder that the settings dialog offers as the
# log directory.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/tools/build.sh" imu-monitor
cd "$here"
mkdir -p logs
exec "${IMU_BUILD_DIR:-$here/build}/app/imu-monitor" "$@"
