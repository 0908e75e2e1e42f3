#!/usr/bin/env bash
# Fuzzes the frame parser with libFuzzer for a bounded time; fails on any
# finding and says where the input that caused it was kept.
#
#   tools/run-fuzz.sh [seconds, default $IMU_FUZZ_SECONDS or 60]
#
# Builds with clang into build-fuzz/ (or $IMU_FUZZ_BUILD_DIR). The committed
# seed corpus is copied, never written.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-${IMU_FUZZ_SECONDS:-60}}
build=${IMU_FUZZ_BUILD_DIR:-$here/build-fuzz}

IMU_WITH_FUZZ=1 "$here/tools/install-deps.sh"
cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DIMU_FUZZ=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

run="$build/fuzz-run"
rm -rf "$run"
mkdir -p "$run/corpus" "$run/findings"
cp "$here"/tests/fuzz/corpus/* "$run/corpus/"
echo "Fuzzing the frame parser for $seconds s"
if ! "$build/tests/fuzz/fuzz_readserial" -max_total_time="$seconds" -print_final_stats=1 \
     -artifact_prefix="$run/findings/" "$run/corpus" 2>"$run/fuzz.log"; then
  grep -v '^#' "$run/fuzz.log" | tail -40 >&2
  echo "The fuzzer found a fault; the input is in $run/findings/." >&2
  echo "Keep it as a regression test: copy it into tests/fuzz/regressions/." >&2
  exit 1
fi
grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$run/fuzz.log"
grep -E 'DONE' "$run/fuzz.log" | tail -1
