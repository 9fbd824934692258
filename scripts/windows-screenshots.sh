#!/usr/bin/env bash
# Pictures of the Windows program's main window and pages under Wine, as
# docs/windows/*.png: the Windows build's test program draws each window
# against the simulator and writes it as a BMP (ScreenshotsWin32.cpp);
# ImageMagick turns them into PNG files. The main window is drawn a second
# time at 144 DPI (Wine's LogPixels), as main-window-144dpi.png.
#   scripts/windows-screenshots.sh [WINDOWS_BUILD_DIR [LINUX_BUILD_DIR]]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
win=${1:-$top/build/win} linux=${2:-$top/build/dev}
export VEXAL_WINEPREFIX=${VEXAL_WINEPREFIX:-$win/wineprefix-shots}
export VEXAL_HUBSIM=$linux/out/vexal-hubsim
harness=$top/scripts/wine-harness.sh
shots=$(mktemp -d)
trap 'bash "$harness" teardown >/dev/null 2>&1 || true; rm -rf "$shots"' EXIT
(unset DISPLAY; bash "$harness" setup)
shoot() {  # DIR: every window, in the prefix's DPI
  VEXAL_SCREENSHOT_DIR="Z:${1//\//\\}" bash "$harness" run "$win/out/win32_utility_tests.exe" \
    --gtest_filter='CScreenshots.*'
}
shoot "$shots"
mkdir -p "$shots/144dpi"
bash "$harness" run reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null
shoot "$shots/144dpi"
mkdir -p "$top/docs/windows"
for f in "$shots"/*.bmp; do
  convert "$f" -strip "$top/docs/windows/$(basename "${f%.bmp}").png"
done
convert "$shots/144dpi/main-window.bmp" -strip "$top/docs/windows/main-window-144dpi.png"
ls -l "$top/docs/windows"
