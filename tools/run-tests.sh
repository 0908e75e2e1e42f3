#!/usr/bin/env bash
# Installs, builds and runs every check, each in a build directory of its own:
# the test suite (build/ or $IMU_BUILD_DIR), the same suite built with
# AddressSanitizer and UndefinedBehaviorSanitizer (tools/run-sanitized-tests.sh)
# and the frame parser and the log reader fuzzed for $IMU_FUZZ_SECONDS (default
# 60) and $IMU_LOG_FUZZ_SECONDS (default 10) seconds
# (tools/run-fuzz.sh), and the Debian package built, installed, tried and
# removed again (tools/check-package.sh, build-package/). Stops at the first
# stage that fails. Tests need no display: CTest runs them on Qt's offscreen
# platform.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${IMU_BUILD_DIR:-$here/build}

stage() {
  local title=$1
  shift
  echo
  echo "== $title"
  local start=$SECONDS
  "$@"
  echo "== $title: passed in $((SECONDS - start)) s"
}

build_and_test() {
  "$here/tools/build.sh"
  (cd "$build" && ctest --output-on-failure -j"$(nproc)")
}

stage "Build and test" build_and_test
stage "Test under AddressSanitizer and UndefinedBehaviorSanitizer" "$here/tools/run-sanitized-tests.sh"
stage "Fuzz the frame parser and the log reader" "$here/tools/run-fuzz.sh" "${IMU_FUZZ_SECONDS:-60}" "${IMU_LOG_FUZZ_SECONDS:-10}"
stage "Build, install and try the Debian package" "$here/tools/check-package.sh"
echo
echo "All checks passed in $SECONDS s"
