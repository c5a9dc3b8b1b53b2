#!/usr/bin/env bash
# Resident memory and mapped shared libraries of a running Zorvane (offscreen) before,
# during and after one alarm with the built-in sound. The alarm is set up to sound
# about ten seconds after the start; SDL's disk driver stands in for the speakers.
# The sound helper (zorvane-sound, when built beside the program) is shown on its own line
# while it runs.
#
#   bench/alarmmemory.sh [path/to/zorvane]     (default: build/release/app/zorvane)
set -euo pipefail
cd "$(dirname "$0")/.."
binary=${1:-build/release/app/zorvane}
[ -x "$binary" ] || { echo "no program at $binary (build it first)" >&2; exit 1; }

dir=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$dir"' EXIT
cp "$binary" "$dir/zorvane"
helper="$(dirname "$binary")/zorvane-sound"
[ -x "$helper" ] && cp "$helper" "$dir/zorvane-sound"

# One checked row due in 5 minutes + 10 seconds: with 5 warning minutes the alarm
# sounds 10 seconds from now. UTF-8 with a byte-order mark is read as such.
last=$(date -d '-25 minutes +10 seconds' +%H:%M:%S)
next=$(date -d '+5 minutes +10 seconds' +%H:%M:%S)
{
    printf '\xef\xbb\xbf'
    printf '[set]\r\n预警=5\r\n[序号]\r\n1=1\r\n[使用]\r\n1=真\r\n[BOSS事件]\r\n1=测试\r\n'
    printf '[周期]\r\n1=30\r\n[延迟]\r\n1=0\r\n[上次时间]\r\n1=%s\r\n[下次时间]\r\n1=%s\r\n' "$last" "$next"
} >"$dir/config.ini"

export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$dir/speaker.raw"
"$dir/zorvane" >/dev/null 2>&1 &
pid=$!

measure() {
    local label="$1" of="$2" rss libs audio
    rss=$(awk '/^VmRSS/ {print $2}' "/proc/$of/status")
    libs=$(awk '$6 ~ /\.so/ {print $6}' "/proc/$of/maps" | sort -u | wc -l)
    audio=$(awk '$6 ~ /libSDL2|libasound|libpulse|libsamplerate/ {print $6}' "/proc/$of/maps" |
        sort -u | xargs -r -n1 basename | tr '\n' ' ')
    printf '%-28s RSS %7d kB   shared libraries %3d   audio: %s\n' "$label" "$rss" "$libs" "${audio:-none}"
}

sample() {
    measure "$1" "$pid"
    local child
    for child in $(pgrep -P "$pid" -x zorvane-sound || true); do
        measure "  sound helper $child" "$child"
    done
}

sleep 6
sample "before the alarm (6 s)"
sleep 9
[ -s "$dir/speaker.raw" ] || echo "warning: the alarm has not reached the speaker yet" >&2
sample "during the alarm (15 s)"
# The built-in sound lasts 26.1 s; the device is released right after it ends.
sleep 25
sample "after the alarm (40 s)"
sleep 10
sample "after the alarm (50 s)"
