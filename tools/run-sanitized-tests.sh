#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ (or $IMU_ASAN_BUILD_DIR) and runs the whole test suite there.
# Any report, leaks included, fails the run.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${IMU_ASAN_BUILD_DIR:-$here/build-asan}

"$here/tools/install-deps.sh"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DIMU_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
cd "$build"
ctest --output-on-failure -j"$(nproc)"
