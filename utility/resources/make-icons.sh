#!/bin/sh
# Draws the PNG sizes of the application icon with ImageMagick, from the same
# shapes as vexal-configuration-utility.svg (ImageMagick here has no SVG reader).
set -eu
cd "$(dirname "$0")"
convert -size 256x256 xc:none \
  -fill '#1f5f8b' -draw 'roundrectangle 8,8 248,248 44,44' \
  -stroke '#e8f1f7' -strokewidth 14 \
  -draw 'line 128,128 62,62' -draw 'line 128,128 194,62' \
  -draw 'line 128,128 62,194' -draw 'line 128,128 194,194' \
  -stroke none -fill '#f4b942' \
  -draw 'roundrectangle 34,34 90,90 10,10' -draw 'roundrectangle 166,34 222,90 10,10' \
  -draw 'roundrectangle 34,166 90,222 10,10' -draw 'roundrectangle 166,166 222,222 10,10' \
  -fill '#e8f1f7' -draw 'circle 128,128 168,128' \
  -fill '#1f5f8b' -draw 'circle 128,128 146,128' \
  vexal-configuration-utility-256.png
for s in 16 32 48 64 128; do
  convert vexal-configuration-utility-256.png -resize "${s}x${s}" "vexal-configuration-utility-$s.png"
done
# The Windows program's icon: the same sizes in one .ico (PNG entries).
convert vexal-configuration-utility-16.png vexal-configuration-utility-32.png vexal-configuration-utility-48.png \
  vexal-configuration-utility-64.png vexal-configuration-utility-128.png vexal-configuration-utility-256.png \
  vexal-configuration-utility.ico
