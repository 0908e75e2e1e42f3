#!/usr/bin/env bash
# Fuzzes the parsers of outside input with libFuzzer for a bounded time: the
# frame parser (FrameParser) and the log reader (LogReader, through the
# recording builder). Fails on any finding (a crash, a sanitizer report, a
# leak, a hang or a wrong result) and says where the input that caused it
# was kept.
#
#   tools/run-fuzz.sh [seconds] [log seconds]
#
# seconds: the frame parser's time, default $IMU_FUZZ_SECONDS, else 60;
# log seconds: the log reader's, default $IMU_LOG_FUZZ_SECONDS, else 10.
#
# Builds with clang into build-fuzz/ (or $IMU_FUZZ_BUILD_DIR). Each fuzzer
# starts from copies of its seed corpus and kept regressions
# (tests/fuzz/corpus/ and regressions/, tests/fuzz/log-corpus/ and
# log-regressions/) and works in <build>/fuzz-run/<fuzzer>/; the committed
# inputs are never written.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-${IMU_FUZZ_SECONDS:-60}}
log_seconds=${2:-${IMU_LOG_FUZZ_SECONDS:-10}}
build=${IMU_FUZZ_BUILD_DIR:-$here/build-fuzz}

for s in "$seconds" "$log_seconds"; do
  if ! [[ "$s" =~ ^[0-9]+$ ]] || [ "$s" -lt 1 ]; then
    echo "usage: $0 [seconds] [log seconds]  (whole numbers of seconds, at least 1)" >&2
    exit 2
  fi
done

IMU_WITH_FUZZ=1 "$here/tools/install-deps.sh"
cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DIMU_FUZZ=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_frameparser fuzz_logreader

# Debian keeps llvm-symbolizer out of PATH; without it a report's stack is
# bare addresses.
export PATH="/usr/lib/llvm-14/bin:$PATH"

# fuzz <what> <fuzzer> <corpus> <regressions> <seconds> <longest input>
fuzz() {
  local what=$1 name=$2 corpus=$3 regressions=$4 time=$5 max_len=$6
  local fuzzer="$build/tests/fuzz/$name"
  local run="$build/fuzz-run/$name"
  rm -rf "$run/corpus"
  mkdir -p "$run/corpus" "$run/findings"
  cp "$here/tests/fuzz/$corpus"/* "$run/corpus/"
  find "$here/tests/fuzz/$regressions" -maxdepth 1 -type f ! -name '.*' -exec cp {} "$run/corpus/" \;

  echo "Fuzzing the $what for $time s (log: $run/fuzz.log)"
  local status=0
  "$fuzzer" "$run/corpus" -max_total_time="$time" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$run/findings/" >"$run/fuzz.log" 2>&1 || status=$?

  if [ "$status" -ne 0 ] || ! grep -q '^Done [0-9]* runs' "$run/fuzz.log"; then
    # Progress lines start with '#'; the report is what remains at the end.
    grep -v '^#' "$run/fuzz.log" | tail -60 >&2
    echo >&2
    echo "FUZZING THE ${what^^} FAILED (exit status $status)." >&2
    local kept
    kept=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$run/fuzz.log" | tail -1)
    if [ -n "$kept" ]; then
      echo "The input that caused it: $kept" >&2
      echo "Replay it:  $fuzzer $kept" >&2
      echo "Keep it as a regression test:  cp $kept $here/tests/fuzz/$regressions/<what-it-does>" >&2
    fi
    exit 1
  fi

  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$run/fuzz.log"
  grep -E '^#[0-9]+.*cov:' "$run/fuzz.log" | tail -1
}

fuzz "frame parser" fuzz_frameparser corpus regressions "$seconds" 4096
fuzz "log reader" fuzz_logreader log-corpus log-regressions "$log_seconds" 8192
