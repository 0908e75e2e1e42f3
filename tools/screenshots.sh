#!/usr/bin/env bash
# Retakes doc/settings-dialog.png and doc/main-window.png from the real
# program in a virtual X display.
#
#   tools/screenshots.sh [build directory, default build]
#
# Needs the doc_screenshots target built (bench/) and xvfb-run.
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$repo/build}"
tool="$build/bench/doc_screenshots"
if [ ! -x "$tool" ]; then
  echo "build the doc_screenshots target first: cmake --build $build --target doc_screenshots" >&2
  exit 1
fi

mkdir -p "$repo/doc"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$tool" "$repo/doc"
