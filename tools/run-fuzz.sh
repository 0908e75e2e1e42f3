#!/usr/bin/env bash
# Fuzzes the frame parser (FrameParser) with libFuzzer for a
# bounded time. Fails on any finding (a crash, a sanitizer report, a leak, a
# hang or a wrong sample) and says where the input that caused it was kept.
#
#   tools/run-fuzz.sh [seconds]     default $IMU_FUZZ_SECONDS, else 60
#
# Builds with clang into build-fuzz/ (or $IMU_FUZZ_BUILD_DIR). The fuzzer
# starts from copies of tests/fuzz/corpus/ and tests/fuzz/regressions/ and
# works in <build>/fuzz-run/; the committed inputs are never written.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-${IMU_FUZZ_SECONDS:-60}}
build=${IMU_FUZZ_BUILD_DIR:-$here/build-fuzz}

if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: $0 [seconds]  (a whole number of seconds, at least 1)" >&2
  exit 2
fi

IMU_WITH_FUZZ=1 "$here/tools/install-deps.sh"
cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DIMU_FUZZ=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
fuzzer="$build/tests/fuzz/fuzz_frameparser"

# Debian keeps llvm-symbolizer out of PATH; without it a report's stack is
# bare addresses.
export PATH="/usr/lib/llvm-14/bin:$PATH"

run="$build/fuzz-run"
rm -rf "$run/corpus"
mkdir -p "$run/corpus" "$run/findings"
cp "$here"/tests/fuzz/corpus/* "$run/corpus/"
find "$here/tests/fuzz/regressions" -maxdepth 1 -type f ! -name '.*' -exec cp {} "$run/corpus/" \;

echo "Fuzzing the frame parser for $seconds s (log: $run/fuzz.log)"
status=0
"$fuzzer" "$run/corpus" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$run/findings/" >"$run/fuzz.log" 2>&1 || status=$?

if [ "$status" -ne 0 ] || ! grep -q '^Done [0-9]* runs' "$run/fuzz.log"; then
  # Progress lines start with '#'; the report is what remains at the end.
  grep -v '^#' "$run/fuzz.log" | tail -60 >&2
  echo >&2
  echo "FUZZING FAILED (exit status $status)." >&2
  kept=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$run/fuzz.log" | tail -1)
  if [ -n "$kept" ]; then
    echo "The input that caused it: $kept" >&2
    echo "Replay it:  $fuzzer $kept" >&2
    echo "Keep it as a regression test:  cp $kept $here/tests/fuzz/regressions/<what-it-does>" >&2
  fi
  exit 1
fi

grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$run/fuzz.log"
grep -E '^#[0-9]+.*cov:' "$run/fuzz.log" | tail -1
