#!/usr/bin/env bash
# Installs the Debian packages that imu-monitor needs to build, run and test.
# Idempotent: installs only what is missing and refreshes the package lists
# only when something has to be installed. Works as root or through sudo.
set -euo pipefail

packages=(
  qt6-base-dev qt6-serialport-dev libqcustomplot-dev libqcustomplot2.1-qt6 libserial-dev
  xfonts-scalable xvfb xauth cmake g++ make pkg-config tzdata
)
# The fuzzer is built with clang 14. Its sanitizer and libFuzzer runtimes are
# only recommended by clang, so they are named here; llvm-14 brings
# llvm-symbolizer, without which a finding's stack shows bare addresses.
# The sanitizer build of the test suite uses g++, whose runtimes come with it.
if [ "${IMU_WITH_FUZZ:-0}" = 1 ]; then
  packages+=(clang libclang-rt-14-dev llvm-14)
fi
# The Debian package (tools/make-package.sh) and its check
# (tools/check-package.sh): dpkg-shlibdeps and dpkg-buildflags, help2man for
# imu-sim's man page, lintian, desktop-file-validate, xwininfo to see the
# installed monitor's windows and xdotool to press its keys.
if [ "${IMU_WITH_PACKAGING:-0}" = 1 ]; then
  packages+=(dpkg-dev help2man lintian desktop-file-utils x11-utils xdotool)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
else
  as_root=(sudo)
fi

echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
