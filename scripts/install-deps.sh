#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the demo, the benchmarks and the fuzzers
# need, and only those that are missing. Debian 12, run as root (or with sudo available).
set -euo pipefail

# qt6-base-dev carries the CMake files of Qt PrintSupport too (Ctrl+P); libqt6svg6 holds the
# plugins through which Qt draws the SVG window icon. The line before last is for `make package` and its
# check: dpkg-shlibdeps (dpkg-dev) and file for CPack, then the validators of the desktop entry,
# the metainfo and the manual pages (the manual pages are also checked by `make test`). The last
# line is for the tests on a real kernel (tests/vm): QEMU, a kernel to boot, busybox for the
# guest's first stage, udev, libinput's tools, and weston with Qt's Wayland plugin.
packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev libqt6printsupport6 libqt6svg6 libgl-dev libasound2-dev libxcb1-dev libevdev-dev libudev-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  fonts-dejavu-core fonts-liberation2
  xvfb openbox xdotool x11-utils imagemagick
  procps python3 strace
  dpkg-dev file binutils desktop-file-utils appstream man-db
  qemu-system-x86 linux-image-amd64 busybox-static kmod udev libinput-tools weston qt6-wayland
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}" >&2
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
