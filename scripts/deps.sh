#!/usr/bin/env bash
# Installs what building, testing and running need on a Debian machine.
# Safe to run again: it only calls apt-get when a package is missing, and
# tries 32-bit Wine (below) while it is not installed.
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
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  python3-dev pybind11-dev python3-pytest ansible-core
  cups-daemon cups-client
  libmicrohttpd-dev prometheus curl
)
SUDO=""
[ "$(id -u)" = 0 ] || SUDO=sudo
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# 32-bit Wine runs the 32-bit Windows build's programs: Debian's wine32, an
# i386 package beside the amd64 system. It is installed only as apt offers
# it: when nothing installed would be upgraded, downgraded, removed or held
# for it (an i386 library must have the very version of its amd64 twin).
# Otherwise the system is left as it was found, the reason is printed and
# written to VEXAL_WINE32_REPORT when that names a file, and the 32-bit
# build's tests under Wine do not run (its static checks do).
wine32_attempt() {
  local added=no rc=0 out plan reason=""
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    added=yes
  fi
  out=$($SUDO apt-get update -qq 2>&1) || rc=$?
  if [ "$rc" != 0 ]; then
    reason="apt-get update did not get every list ($(grep -m1 '^E: ' <<<"$out" | sed -e 's/^E: //' -e 's/ *\[IP: [^]]*\]//' || true)). "
  fi
  rc=0
  plan=$(apt-get install -s -q --no-install-recommends wine32:i386 2>&1) || rc=$?
  if [ "$rc" != 0 ]; then
    reason+="apt cannot install wine32:i386 beside the installed packages (each i386 library needs the version of its amd64 twin): "
    reason+=$(grep -m2 -E '^ [^ ].*Depends: ' <<<"$plan" | sed 's/^ *//' | tr '\n' ';' || true)
  elif grep -qE '^(Remv |Inst [^ ]+ \[)' <<<"$plan"; then
    reason+="wine32:i386 would change installed packages: "
    reason+=$(grep -m3 -E '^(Remv |Inst [^ ]+ \[)' <<<"$plan" | tr '\n' ';' || true)
  elif DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends wine32:i386; then
    echo "Installed wine32:i386"
    [ -z "${VEXAL_WINE32_REPORT:-}" ] || rm -f "$VEXAL_WINE32_REPORT"
    return 0
  else
    reason+="apt-get install wine32:i386 failed"
  fi
  if [ "$added" = yes ]; then
    $SUDO dpkg --remove-architecture i386
    $SUDO apt-get update -qq >/dev/null 2>&1 || true
  fi
  echo "wine32 not installed, the system's packages left as they are: $reason"
  [ -z "${VEXAL_WINE32_REPORT:-}" ] || printf '%s\n' "$reason" >"$VEXAL_WINE32_REPORT"
}
if installed wine32:i386; then
  [ -z "${VEXAL_WINE32_REPORT:-}" ] || rm -f "$VEXAL_WINE32_REPORT"
else
  wine32_attempt
fi
