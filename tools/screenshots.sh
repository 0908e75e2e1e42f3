#!/usr/bin/env bash
# Retakes doc/settings-dialog.png, doc/main-window.png, doc/fitted-value-axes.png,
# doc/sensor-mode.png, doc/device-menu.png and doc/recording-viewer.png from
# the real program in a virtual X display. The last one writes a week of logs
# (2.5 GB) into a temporary folder first.
#
#   tools/screenshots.sh [build directory, default build]
#
# Needs the doc_screenshots, doc_screenshot_line, doc_screenshot_ports and
# doc_screenshot_recording targets built (tools/screenshots/)
# and xvfb-run.
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$repo/build}"
tool="$build/tools/screenshots/doc_screenshots"
line_tool="$build/tools/screenshots/doc_screenshot_line"
ports_tool="$build/tools/screenshots/doc_screenshot_ports"
recording_tool="$build/tools/screenshots/doc_screenshot_recording"
if [ ! -x "$tool" ] || [ ! -x "$line_tool" ] || [ ! -x "$ports_tool" ] || [ ! -x "$recording_tool" ]; then
  echo "build the screenshot targets first: cmake --build $build --target doc_screenshots doc_screenshot_line doc_screenshot_ports doc_screenshot_recording" >&2
  exit 1
fi

mkdir -p "$repo/doc"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$tool" "$repo/doc"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$line_tool" "$repo/doc"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$ports_tool" "$repo/doc"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$recording_tool" "$repo/doc"
