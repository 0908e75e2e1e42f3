#!/usr/bin/env bash
# Retakes doc/settings-dialog.png, doc/main-window.png, doc/fitted-value-axes.png,
# doc/sensor-mode.png and doc/device-menu.png from the real program in a
# virtual X display.
#
#   tools/screenshots.sh [build directory, default build]
#
# Needs the doc_screenshots, doc_screenshot_line and doc_screenshot_ports
# targets built (tools/screenshots/)
# and xvfb-run.
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$repo/build}"
tool="$build/tools/screenshots/doc_screenshots"
line_tool="$build/tools/screenshots/doc_screenshot_line"
ports_tool="$build/tools/screenshots/doc_screenshot_ports"
if [ ! -x "$tool" ] || [ ! -x "$line_tool" ] || [ ! -x "$ports_tool" ]; then
  echo "build the screenshot targets first: cmake --build $build --target doc_screenshots doc_screenshot_line doc_screenshot_ports" >&2
  exit 1
fi

mkdir -p "$repo/doc"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$tool" "$repo/doc"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$line_tool" "$repo/doc"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$ports_tool" "$repo/doc"
