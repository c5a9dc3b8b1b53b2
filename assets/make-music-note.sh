#!/usr/bin/env bash
# Draws the music-note picture (200 x 200, RGBA, transparent background) that marks
# the sound path line, and its 20 x 20 copy music-note-20.png. Needs ImageMagick, a C++
# compiler, pkg-config and qt6-base-dev. Usage: assets/make-music-note.sh
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
# The window shows it at 20 x 20: scaled here once, with Qt's smooth scaling, instead of at
# every start.
tool=$(mktemp -d)
trap 'rm -rf "$tool"' EXIT
c++ -std=c++20 -fPIC scale-music-note.cpp -o "$tool/scale" $(pkg-config --cflags --libs Qt6Gui)
QT_QPA_PLATFORM=offscreen "$tool/scale" music-note.png music-note-20.png
