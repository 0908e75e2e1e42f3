#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer (g++)
# into build-asan/ (or $IMU_ASAN_BUILD_DIR) and runs the whole test suite
# there. Any report fails the run: memory errors, undefined behaviour and
# leaks (LeakSanitizer), also from a child process that a test starts and
# whose exit status the test does not look at.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${IMU_ASAN_BUILD_DIR:-$here/build-asan}

"$here/tools/install-deps.sh"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DIMU_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

# Reports go to files named after the program (printed below, after the
# suite), so none is lost in the discarded output of a child process.
reports="$build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
# Some children run as an ordinary user; their reports must land here too.
chmod 1777 "$reports"
export ASAN_OPTIONS="log_path=$reports/asan:log_exe_name=1:halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:strict_string_checks=1"
export UBSAN_OPTIONS="log_path=$reports/ubsan:log_exe_name=1:halt_on_error=1:print_stacktrace=1"

status=0
(cd "$build" && ctest --output-on-failure -j"$(nproc)") || status=$?

found=$(find "$reports" -type f | sort)
if [ -n "$found" ]; then
  for f in $found; do
    echo
    echo "== Sanitizer report $(basename "$f")"
    cat "$f"
  done
  echo
  echo "SANITIZER REPORTS: $(echo "$found" | wc -l) report file(s) in $reports" >&2
  status=1
fi
exit "$status"
