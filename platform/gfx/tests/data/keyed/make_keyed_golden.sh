#!/usr/bin/env bash
# Regenerates the colour-keyed copy golden with ImageMagick's `convert`: a background and a
# sprite whose magenta pixels are the key, and the expected picture of the sprite laid over
# the background at 5, 3 with the key colour left out. The test draws the same with
# transparentBlt from the two BMP files.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 32x24 pattern:checkerboard -fill '#3060A0' -colorize 40 -type truecolor BMP3:background.bmp
convert -size 20x16 xc:'#FF00FF' +antialias -fill '#FFD000' -draw 'circle 10,8 10,2' \
  -fill '#FE00FF' -draw 'point 10,8' -fill '#000000' -draw 'line 0,15 19,15' \
  -type truecolor BMP3:sprite.bmp
convert background.bmp \( sprite.bmp -transparent '#FF00FF' \) -geometry +5+3 -composite \
  -alpha off -depth 8 PNG24:keyed_expected.png
echo "make_keyed_golden: background.bmp, sprite.bmp, keyed_expected.png"
