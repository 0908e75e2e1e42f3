#!/usr/bin/env bash
# Builds the Debian package (tools/make-package.sh) and checks it as a user
# meets it: it holds every file it should, lintian finds no error, the menu
# entry is valid, apt installs it, imu-sim runs from the PATH, and the
# installed monitor, started from an empty folder in a virtual X display,
# shows its settings dialog, then its main window, whose Readme box (F1)
# names the installed readme.txt. Then the package is removed again, also when a
# check failed; one that was installed before is left installed, upgraded to
# this build.
#
# Installs and removes a system package: runs as root or through sudo.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${IMU_PACKAGE_BUILD_DIR:-$here/build-package}
export IMU_PACKAGE_BUILD_DIR=$build

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
else
  as_root=(sudo)
fi

fail() {
  echo "PACKAGE CHECK FAILED: $*" >&2
  exit 1
}

work=$(mktemp -d)
# Set just before apt-get install: only a package this check installed is
# removed again.
remove_after=0

cleanup() {
  local status=$?
  if [ "$remove_after" = 1 ]; then
    echo
    echo "== apt-get remove imu-monitor"
    if ! DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get remove -y -qq imu-monitor >"$work/apt.log" 2>&1; then
      cat "$work/apt.log" >&2
      echo "PACKAGE CHECK FAILED: apt-get could not remove imu-monitor" >&2
      status=1
    elif [ -e /usr/bin/imu-monitor ] || [ -e /usr/bin/imu-sim ]; then
      echo "PACKAGE CHECK FAILED: the programs are still there after removal" >&2
      status=1
    else
      echo "removed"
    fi
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT

"$here/tools/make-package.sh"
deb=$(ls "$build"/imu-monitor_*.deb)

echo
echo "== $(basename "$deb"): $(stat -c %s "$deb") bytes," \
  "$(dpkg-deb -f "$deb" Installed-Size) KiB installed"
dpkg-deb -f "$deb" Package Version Architecture Depends
dpkg-deb -c "$deb"

# The libraries apt must bring, as dpkg-shlibdeps found them.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libqt6serialport6 libqcustomplot2.1-qt6 libserial1; do
  grep -qE "(^|, )$library( |,|$)" <<<"$depends" || fail "the package does not depend on $library: $depends"
done

# What the menu, the PATH and man look for.
listing=$(dpkg-deb -c "$deb" | awk '{print $NF}')
expected=(
  ./usr/bin/imu-monitor ./usr/bin/imu-sim
  ./usr/share/applications/imu-monitor.desktop
  ./usr/share/imu-monitor/logo.png ./usr/share/imu-monitor/readme.txt
  ./usr/share/man/man1/imu-monitor.1.gz ./usr/share/man/man1/imu-sim.1.gz
  ./usr/share/doc/imu-monitor/copyright ./usr/share/doc/imu-monitor/changelog.gz
)
for size in 16 32 48 64 128 256; do
  expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/imu-monitor.png")
done
for path in "${expected[@]}"; do
  grep -qxF -- "$path" <<<"$listing" || fail "the package lacks $path"
done

echo
echo "== lintian"
lintian --display-info --fail-on error "$deb" || fail "lintian found errors"

echo
echo "== desktop-file-validate"
dpkg-deb -x "$deb" "$work/unpacked"
desktop-file-validate "$work/unpacked/usr/share/applications/imu-monitor.desktop" \
  || fail "the menu entry is not valid"
echo "imu-monitor.desktop is valid"

if dpkg-query -W -f='${Status}' imu-monitor 2>/dev/null | grep -q "install ok installed"; then
  echo
  echo "imu-monitor is installed on this machine: it is upgraded to this build and stays installed"
else
  remove_after=1
fi

echo
echo "== apt-get install $deb"
if ! DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1; then
  cat "$work/apt.log" >&2
  fail "apt-get could not install the package"
fi
dpkg-query -W -f='installed ${Package} ${Version}\n' imu-monitor

[ "$(command -v imu-monitor)" = /usr/bin/imu-monitor ] || fail "imu-monitor is not /usr/bin/imu-monitor on the PATH"
[ "$(command -v imu-sim)" = /usr/bin/imu-sim ] || fail "imu-sim is not /usr/bin/imu-sim on the PATH"
[ -r /usr/share/imu-monitor/logo.png ] || fail "the About box's logo is not installed"
[ -r /usr/share/imu-monitor/readme.txt ] || fail "the readme.txt that the Readme box names is not installed"

echo
echo "== imu-sim --help"
help=$(cd "$work" && imu-sim --help) || fail "imu-sim --help failed"
grep -q '^Usage: imu-sim' <<<"$help" || fail "imu-sim --help printed no usage line: $help"
echo "$help" | head -3

echo
echo "== imu-monitor under Xvfb"
# Runs inside the virtual display: starts the monitor, waits up to 20 s for
# its settings dialog (titled Options) to be on screen, confirms it with
# Return, waits for the main window, presses F1 and waits for the Readme box
# (titled Information), whose text the monitor also writes to its debug
# output. There is no window manager: each window is given the keyboard
# focus before its key is pressed.
try_installed_monitor() {
  imu-monitor >monitor.log 2>&1 &
  local pid=$!
  # Waits for a viewable window titled $1; prints its id.
  wait_for_window() {
    local tenths=0 id
    while [ "$tenths" -lt 200 ]; do
      if ! kill -0 "$pid" 2>/dev/null; then
        echo "imu-monitor exited before its window $1 showed:" >&2
        cat monitor.log >&2
        return 1
      fi
      id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
      if [ -n "$id" ]; then
        echo "window $1 on screen after $((tenths / 10)).$((tenths % 10)) s" >&2
        echo "$id"
        return 0
      fi
      sleep 0.1
      tenths=$((tenths + 1))
    done
    echo "no window $1 within 20 s; the windows on screen:" >&2
    xwininfo -root -tree >&2 || true
    cat monitor.log >&2
    return 1
  }
  press() {
    xdotool windowfocus --sync "$1" && sleep 0.3 && xdotool key "$2"
  }
  local status=0 dialog window
  if dialog=$(wait_for_window Options) && press "$dialog" Return \
    && window=$(wait_for_window MainWindow) && press "$window" F1 \
    && wait_for_window Information >/dev/null; then
    if grep -q "^Readme box names /usr/share/imu-monitor/readme.txt$" monitor.log; then
      echo "the Readme box names /usr/share/imu-monitor/readme.txt"
    else
      echo "the Readme box does not name the installed readme.txt:" >&2
      cat monitor.log >&2
      status=1
    fi
  else
    status=1
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  return "$status"
}
mkdir "$work/start"
(cd "$work/start" && QT_QPA_PLATFORM=xcb QT_LOGGING_RULES="imu.serial.reads.debug=false" \
  xvfb-run -a -s "-screen 0 1280x1024x24" \
  bash -c "$(declare -f try_installed_monitor); try_installed_monitor") \
  || fail "the installed imu-monitor did not show its settings dialog, main window and Readme box"
