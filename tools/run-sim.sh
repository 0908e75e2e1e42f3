#!/usr/bin/env bash
# Installs, builds and starts imu-sim, the sensor simulator, with the
# arguments given (imu-sim --help lists them), for example:
#
#   bash tools/run-sim.sh --link /tmp/imu-sim
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/tools/build.sh" imu-sim >&2
exec "${IMU_BUILD_DIR:-$here/build}/tools/imu-sim/imu-sim" "$@"
