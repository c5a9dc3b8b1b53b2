#!/usr/bin/env bash
# Takes the screenshot of the main window that the AppStream metadata shows: a copy of
# the program runs portably in a temporary folder with a sample boss table, on a virtual
# X display (Xvfb), without network, and the window is captured with ImageMagick.
# Usage: assets/make-screenshot.sh [path/to/zorvane]   (default: the release build)
set -euo pipefail
cd "$(dirname "$0")"
program=$(realpath "${1:-../build/release/app/zorvane}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/zorvane"

at() { date -d "$1 minutes" +%H:%M:%S; }
# Section per column, key per row, as the program stores the table (GB18030, CRLF).
{
    printf '[使用]\n1=真\n2=真\n3=假\n4=真\n5=假\n'
    printf '[序号]\n1=1\n2=2\n3=3\n4=4\n5=5\n'
    printf '[BOSS事件]\n1=黑龙王\n2=赤焰魔君\n3=冰霜巨人\n4=幽冥女王\n5=雷霆兽\n'
    printf '[周期]\n1=120\n2=60\n3=30\n4=180\n5=45\n'
    printf '[延迟]\n1=0\n2=5\n3=0\n4=10\n5=0\n'
    printf '[上次时间]\n1=%s\n2=%s\n3=%s\n4=%s\n5=%s\n' "$(at -41)" "$(at -17)" "$(at -26)" "$(at -95)" "$(at -12)"
    printf '[下次时间]\n1=%s\n2=%s\n3=%s\n4=%s\n5=%s\n' "$(at 79)" "$(at 48)" "$(at 4)" "$(at 95)" "$(at 33)"
    printf '[set]\n预警=5\n'
} | sed 's/$/\r/' | iconv -f UTF-8 -t GB18030 >"$work/config.ini"

export https_proxy=http://127.0.0.1:9 http_proxy=http://127.0.0.1:9 SDL_AUDIODRIVER=dummy
unset QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$1/zorvane" & pid=$!
    sleep 5
    window=$(xwininfo -root -tree | awk "/\"Zorvane\": \\(\"zorvane\" \"Zorvane\"\\)/ { print \$1; exit }")
    import -window "$window" "$1/shot.png"
    kill "$pid"' sh "$work"
mkdir -p screenshots
convert "$work/shot.png" -strip -define png:exclude-chunks=date,time screenshots/main-window.png
identify screenshots/main-window.png
