#!/usr/bin/env bash
# Installs what building, testing and running need on a Debian machine.
# Safe to run again: it only calls apt-get when a package is missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libusb-1.0-0-dev libcli11-dev nlohmann-json3-dev help2man
  clang libclang-rt-14-dev clang-format
  iputils-ping iproute2 util-linux procps
  qt6-base-dev qt6-base-dev-tools libgl-dev
  xvfb xauth xdotool imagemagick desktop-file-utils
  dpkg-dev lintian man-db file
  valgrind
  umockdev libumockdev-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest wine wine64 python3
  python3-dev pybind11-dev python3-pytest ansible-core
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" = 0 ] || SUDO=sudo
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
