#!/usr/bin/env bash
# Builds the Debian package imu-monitor_<version>_<arch>.deb into
# build-package/ (or $IMU_PACKAGE_BUILD_DIR): a Release build without the
# tests, with Debian's hardening flags, and its binaries stripped. Prints the
# package's path on the last line.
#
#   bash tools/make-package.sh
#   sudo apt install ./build-package/imu-monitor_1.3.0_amd64.deb
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${IMU_PACKAGE_BUILD_DIR:-$here/build-package}

IMU_WITH_PACKAGING=1 "$here/tools/install-deps.sh"

# The flags Debian builds its own packages with (fortify, stack protector,
# read-only relocations, immediate binding), given on every configure so
# that a reused build directory follows them.
cd "$here"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DIMU_TESTS=OFF -DIMU_PACKAGE=ON \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j"$(nproc)"

rm -f "$build"/imu-monitor_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || {
  cat "$build/cpack.log" >&2
  echo "cpack failed (log: $build/cpack.log)" >&2
  exit 1
}
shopt -s nullglob
debs=("$build"/imu-monitor_*.deb)
if [ "${#debs[@]}" -ne 1 ]; then
  cat "$build/cpack.log" >&2
  echo "expected one package in $build, found ${#debs[@]}" >&2
  exit 1
fi
echo "${debs[0]}"
