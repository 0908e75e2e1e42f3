#!/usr/bin/env bash
# Installs, builds and runs every check: the test suite, the same suite built
# with AddressSanitizer and UndefinedBehaviorSanitizer, and the frame parser
# fuzzed for $IMU_FUZZ_SECONDS (default 60) seconds. Tests need no display:
# CTest runs them on Qt's offscreen platform.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${IMU_BUILD_DIR:-$here/build}

stage() { echo; echo "== $1 ($(date +%T))"; }

stage "Build and test"
"$here/tools/build.sh"
(cd "$build" && ctest --output-on-failure -j"$(nproc)")

stage "Test under AddressSanitizer and UndefinedBehaviorSanitizer"
"$here/tools/run-sanitized-tests.sh"

stage "Fuzz the frame parser"
"$here/tools/run-fuzz.sh"

stage "All checks passed"
