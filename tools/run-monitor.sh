#!/usr/bin/env bash
# Installs, builds and starts the monitor. It runs from the repository's top
# folder, which holds logo.png and the logs/ folder that the settings dialog
# offers as the log directory.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/tools/build.sh"
cd "$here"
mkdir -p logs
exec "${IMU_BUILD_DIR:-$here/build}/app/imu-monitor" "$@"
