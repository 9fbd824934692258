#!/usr/bin/env bash
# Pictures of the Windows program's main window and pages under Wine, as
# docs/windows/*.png: the Windows build's test program draws each window
# against the simulator and writes it as a BMP (ScreenshotsWin32.cpp);
# ImageMagick turns them into PNG files.
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
VEXAL_SCREENSHOT_DIR="Z:${shots//\//\\}" bash "$harness" run "$win/out/win32_utility_tests.exe" \
  --gtest_filter='CScreenshots.*'
mkdir -p "$top/docs/windows"
for f in "$shots"/*.bmp; do
  convert "$f" -strip "$top/docs/windows/$(basename "${f%.bmp}").png"
done
ls -l "$top/docs/windows"
