#!/usr/bin/env bash
# Draws the application icon from app-icon.svg into icons/<size>.png for every size the
# desktop's hicolor theme installs. Needs rsvg-convert (librsvg2-bin) and ImageMagick.
# Usage: assets/make-app-icon.sh
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p icons
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --format png app-icon.svg |
        convert png:- -strip -define png:exclude-chunks=date,time -define png:color-type=6 \
            "PNG32:icons/$size.png"
done
