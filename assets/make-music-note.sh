#!/usr/bin/env bash
# Draws the music-note picture (200 x 200, RGBA, transparent background) that marks
# the sound path line. Needs ImageMagick. Usage: assets/make-music-note.sh
set -euo pipefail
cd "$(dirname "$0")"
convert -size 200x200 xc:none -alpha set \
    -fill '#1d4f91' -stroke '#1d4f91' -strokewidth 1 \
    -draw "translate 58,150 rotate -25 ellipse 0,0 27,19 0,360" \
    -draw "translate 148,128 rotate -25 ellipse 0,0 27,19 0,360" \
    -draw "rectangle 75,38 85,146" \
    -draw "rectangle 165,16 175,124" \
    -draw "polygon 75,38 175,16 175,44 75,66" \
    -define png:color-type=6 PNG32:music-note.png
